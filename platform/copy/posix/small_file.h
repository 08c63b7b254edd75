// A small regular file's data, status check and closes as one submission to a worker's ring.
#pragma once

#include <sys/stat.h>

#include <optional>

#include "copy/file_progress.h"
#include "os/posix/unique_fd.h"
#include "ring.h"

namespace qm::posix {

// Whether the file with status `st` goes through the ring: data that one read takes whole,
// and no holes, which only the plain steps keep (a file with none takes no fewer blocks
// than its size).
bool fitsRing(const struct stat& st);

// What became of a small file sent through the ring.
struct RingMove {
  bool plain = false;           // nothing settled: both files are open, the plain steps copy it
  bool shortRead = false;       // of them: the read came short, as when the file shrank
  int dataError = 0;            // errno of the read or the write; both files are then still open
  int closeError = 0;           // errno of closing the copy, whose descriptor is gone all the same
  bool sealed = false;          // both files are closed, the copy holding every byte
  std::optional<bool> changed;  // whether `in` is another file, or has another size, data
                                // or status than `st`, where its status was read after the data
};

// Reads `in` (with status `st`, fitsRing) whole into the ring's buffer, writes it to the
// empty file `out`, reads `in`'s status again, then closes both; `in` and `out` are
// released where their close ran. A read that comes short (the file shrank) or a call the
// kernel could not finish at once leaves the plain steps to copy the file.
RingMove moveSmallFile(DataRing& ring, UniqueFd& in, UniqueFd& out, const struct stat& st,
                       copy::FileProgress& progress);

}  // namespace qm::posix

// One worker's io_uring: a small file's read, write, status and closes in one submission.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>

namespace qm::posix {

// A file of this size or less moves through the ring: one read fills a worker's buffer,
// so the whole file costs one submission where it would otherwise cost a call for its data,
// one for its status and one per close. Larger files spend their time on the bytes, which
// the kernel's own copy moves without this buffer.
constexpr off_t kRingFileBytes = off_t{256} << 10;

// What each request of one file's submission returned: a count or 0, or a negated errno;
// -ECANCELED for a request that an earlier one's failure or short count cut off.
struct RingOutcome {
  long read = 0;
  long write = 0;
  int status = 0;
  int closeOut = 0;
  int closeIn = 0;
};

class DataRing {
 public:
  // A ring with a buffer of kRingFileBytes; null, with `error` set, where the kernel has no
  // io_uring (ENOSYS), refuses it (EPERM, from a sandbox or a setting), lacks one of the
  // requests it needs (EINVAL), or the build has no liburing.
  static std::unique_ptr<DataRing> open(int& error);
  ~DataRing();
  DataRing(const DataRing&) = delete;
  DataRing& operator=(const DataRing&) = delete;

  // Reads `size` bytes of `in` into the buffer, writes them to `out`, reads `in`'s status
  // into `after`, then closes `out` and `in`; each step waits for the one before, and a
  // failure or a short count cancels the data's later steps. `size` is at most
  // kRingFileBytes; 0 leaves out the read and the write. Waits for every request.
  RingOutcome copySmall(int in, int out, size_t size, struct statx& after);

 private:
  struct State;
  explicit DataRing(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace qm::posix

// Copies the bytes of one regular file into a new, empty file.
#pragma once

#include <sys/stat.h>

#include "system.h"
#include "copy/file_progress.h"

namespace qm::posix {

// Copies the contents of `in` (described by `st`) to the empty file `out`: by sharing
// blocks where `steps` allow and the file system can, else in the kernel where they allow
// it, else with read and write. Holes of sparse files stay holes. The copy holds every
// byte read from the source, up to its end. Returns 0 or the errno of the failure.
int copyData(int in, int out, const struct stat& st, const DataSteps& steps, CopySystem& run,
             copy::FileProgress& progress);

}  // namespace qm::posix

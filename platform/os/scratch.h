// Scratch files: temporary files of this process that nobody else sees.
#pragma once

#include <cstdio>

namespace qm {

// A new temporary file open for reading and writing, removed once it is closed (or the
// process ends); null where none can be made.
std::FILE* openScratchFile();

}  // namespace qm

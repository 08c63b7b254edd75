// Scratch files: temporary files of this process that nobody else sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace qm {

// A new temporary file open for reading and writing, removed once it is closed (or the
// process ends); null where none can be made.
std::FILE* openScratchFile();

// Reads or writes `bytes` at `offset` of a scratch file, from any thread at once, without
// its stream's buffer or position (a file used this way is not also read through the
// stream); false where not all of them could be.
bool readScratchAt(std::FILE* file, std::uint64_t offset, void* into, std::size_t bytes);
bool writeScratchAt(std::FILE* file, std::uint64_t offset, const void* from, std::size_t bytes);

}  // namespace qm

// Scratch files on POSIX: an unnamed file in the temporary folder.
#include <unistd.h>

#include <cerrno>

#include "os/scratch.h"

namespace qm {

std::FILE* openScratchFile() {
  return std::tmpfile();
}

namespace {

// Moves `bytes` at `offset` with `move` (pread or pwrite), a piece at a time where the
// system moves fewer at once.
template <typename Bytes, typename Move>
bool moveAt(std::FILE* file, std::uint64_t offset, Bytes* at, std::size_t bytes, Move move) {
  const int fd = fileno(file);
  while (bytes > 0) {
    const ssize_t moved = move(fd, at, bytes, static_cast<off_t>(offset));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    at += moved;
    offset += static_cast<std::uint64_t>(moved);
    bytes -= static_cast<std::size_t>(moved);
  }
  return true;
}

}  // namespace

bool readScratchAt(std::FILE* file, std::uint64_t offset, void* into, std::size_t bytes) {
  return moveAt(file, offset, static_cast<char*>(into), bytes, ::pread);
}

bool writeScratchAt(std::FILE* file, std::uint64_t offset, const void* from, std::size_t bytes) {
  return moveAt(file, offset, static_cast<const char*>(from), bytes, ::pwrite);
}

}  // namespace qm

// Scratch files on Windows: a file in the user's temporary folder, deleted when closed.
#include <io.h>
#include <windows.h>

#include <string>

#include "os/scratch.h"

namespace qm {

std::FILE* openScratchFile() {
  // The C library's own tmpfile() makes its files in the root of the drive, which an
  // ordinary user may not write to.
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return nullptr;
  wchar_t path[MAX_PATH + 1];
  if (GetTempFileNameW(folder, L"qm", 0, path) == 0) return nullptr;
  // "D": deleted once closed; "T": kept in memory where the system can.
  std::FILE* file = _wfopen(path, L"w+bDT");
  if (!file) DeleteFileW(path);
  return file;
}

namespace {

// Moves `bytes` at `offset` with `move` (ReadFile or WriteFile), the offset given with
// each call, so that calls from several threads do not meet at one file position.
template <typename Bytes, typename Move>
bool moveAt(std::FILE* file, std::uint64_t offset, Bytes* at, std::size_t bytes, Move move) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return false;
  while (bytes > 0) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD piece = bytes > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(bytes);
    DWORD moved = 0;
    if (!move(handle, at, piece, &moved, &where) || moved == 0) return false;
    at += moved;
    offset += moved;
    bytes -= moved;
  }
  return true;
}

}  // namespace

bool readScratchAt(std::FILE* file, std::uint64_t offset, void* into, std::size_t bytes) {
  return moveAt(file, offset, static_cast<char*>(into), bytes, ReadFile);
}

bool writeScratchAt(std::FILE* file, std::uint64_t offset, const void* from, std::size_t bytes) {
  return moveAt(file, offset, static_cast<const char*>(from), bytes, WriteFile);
}

}  // namespace qm

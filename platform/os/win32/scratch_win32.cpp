// Scratch files on Windows: a file in the user's temporary folder, deleted when closed.
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

}  // namespace qm

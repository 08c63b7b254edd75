// The Windows directory from GetWindowsDirectoryA, handed on as UTF-8.
#include <windows.h>

#include <cstring>
#include <vector>

#include "os/windir.h"
#include "wide.h"

namespace qm {

// The real call gets the caller's size, so a directory that does not fit the ANSI
// buffer is refused as it would be by the API itself; the UTF-8 form must fit too.
unsigned getWindowsDirectoryA(char* buffer, unsigned size) {
  std::vector<char> ansi(size + 1u, '\0');
  const UINT n = ::GetWindowsDirectoryA(ansi.data(), size);
  if (n == 0 || n >= size) return n == 0 ? 1u : n;
  std::vector<wchar_t> wide(n + 1u, L'\0');
  const int w = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(n), wide.data(),
                                    static_cast<int>(wide.size()));
  const std::string utf8 = win32::narrow(std::wstring_view(wide.data(), w > 0 ? w : 0));
  const auto needed = static_cast<unsigned>(utf8.size() + 1);
  if (needed > size) return needed;
  std::memcpy(buffer, utf8.c_str(), needed);
  return needed - 1;
}

unsigned windowsDirectoryBufferWidth(unsigned classicWidth) {
  return classicWidth;
}

}  // namespace qm

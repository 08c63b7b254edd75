// Conversion between UTF-8 and the system's ANSI code page (CP_ACP) with the Win32 API.
#include <windows.h>

#include "errors.h"
#include "os/codepage.h"
#include "wide.h"

namespace qm {

// Refuses characters without a mapping (no best-fit substitutes such as '?' or a
// look-alike) and any that do not convert back to the same character.
std::string toAnsi(std::string_view utf8, std::string_view context) {
  if (utf8.empty()) return {};
  std::wstring wide;
  try {
    wide = win32::widen(utf8);
  } catch (const RuntimeError&) {
    throw RuntimeError(err::kInvalidCall, context);
  }
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                    nullptr, &usedDefault);
  if (n <= 0 || usedDefault) throw RuntimeError(err::kInvalidCall, context);
  std::string ansi(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, ansi.data(), n, nullptr,
                      &usedDefault);
  if (usedDefault || fromAnsi(ansi, context) != utf8)
    throw RuntimeError(err::kInvalidCall, context);
  return ansi;
}

std::string fromAnsi(std::string_view ansi, std::string_view context) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), size, nullptr, 0);
  if (n <= 0) throw RuntimeError(err::kPathFileAccess, context);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), size, wide.data(), n);
  return win32::narrow(wide);
}

}  // namespace qm

// UTF-8 and UTF-16 conversion, and Win32 error codes as run-time error numbers.
#pragma once

#include <string>
#include <string_view>

namespace qm::win32 {

// UTF-8 to UTF-16; invalid UTF-8 throws RuntimeError 5.
std::wstring widen(std::string_view utf8);
// UTF-16 to UTF-8.
std::string narrow(std::wstring_view wide);

// The run-time error number a Win32 error code (GetLastError) stands for.
int errorNumberFromWin32(unsigned long code);

}  // namespace qm::win32

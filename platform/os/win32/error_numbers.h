// Run-time error numbers for Win32 error codes: the general mapping and the copy's narrowing.
#pragma once

#include <string>

namespace qm::win32 {

// The run-time error number a Win32 error code (GetLastError) stands for.
int errorNumberFromWin32(unsigned long code);

// The error number a copy step reports for Win32 error `code`: permission, sharing,
// locks and write protection 70; disk full 61; device I/O (CRC, general failure, not
// ready, read/write faults) 57; a file or folder that vanished 53; anything else 75.
int copyErrorNumber(unsigned long code);

// Throws the RuntimeError for Win32 error `code` on `path` (shown without the
// long-path prefix).
[[noreturn]] void throwCopyError(unsigned long code, const std::wstring& path);

// Throws the RuntimeError with `number` on `path`.
[[noreturn]] void throwNumber(int number, const std::wstring& path);

}  // namespace qm::win32

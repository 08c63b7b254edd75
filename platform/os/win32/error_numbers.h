// Run-time error numbers for Win32 error codes.
#pragma once

namespace qm::win32 {

// The run-time error number a Win32 error code (GetLastError) stands for.
int errorNumberFromWin32(unsigned long code);

}  // namespace qm::win32

// Run-time error numbers for errno values: the general mapping and the copy's narrowing.
#pragma once

#include <string>

namespace qm {

// The run-time error number an errno value from a file operation stands for.
int errorNumberFromErrno(int code);

}  // namespace qm

namespace qm::fs {

// The error number a copy reports for errno `code`: permission 70, disk full 61,
// device I/O 57, vanished file 53, anything else 75.
int copyErrorNumber(int code);

// Throws the RuntimeError for errno `code` on `path`.
[[noreturn]] void throwCopyError(int code, const std::string& path);

// Throws the RuntimeError with the number `number` on `path`.
[[noreturn]] void throwNumber(int number, const std::string& path);

}  // namespace qm::fs

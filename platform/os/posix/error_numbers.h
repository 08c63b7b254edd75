// Run-time error numbers for errno values.
#pragma once

namespace qm {

// The run-time error number an errno value from a file operation stands for.
int errorNumberFromErrno(int code);

}  // namespace qm

// The platform's path separator.
#pragma once

namespace qm {

// '\' on Windows, '/' on Linux.
extern const char kPathSeparator;

}  // namespace qm

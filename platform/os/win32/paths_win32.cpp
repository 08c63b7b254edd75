// The path separator on Windows.
#include "os/paths.h"

namespace qm {
const char kPathSeparator = '\\';
}

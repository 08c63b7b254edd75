// The path separator on Windows.
#include "paths.h"

namespace qm {
const char kPathSeparator = '\\';
}

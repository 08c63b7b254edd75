// The path separator on Linux.
#include "paths.h"

namespace qm {
const char kPathSeparator = '/';
}

// The path separator on Linux.
#include "os/paths.h"

namespace qm {
const char kPathSeparator = '/';
}

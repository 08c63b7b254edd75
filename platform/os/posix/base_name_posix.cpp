// Base names with the path style of POSIX systems.
#include "base_name.h"

namespace qm {

std::string platformBaseName(std::string_view path) {
  return baseNameOf(path, kPosixPaths);
}

}  // namespace qm

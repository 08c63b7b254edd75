// Base names with the path style of Windows.
#include "base_name.h"

namespace qm {

std::string platformBaseName(std::string_view path) {
  return baseNameOf(path, kWindowsPaths);
}

}  // namespace qm

// Composition of the effective destination.
#include "destination.h"

namespace qm {

std::string effectiveDestination(std::string_view destination, std::string_view baseName,
                                 char separator) {
  std::string out(destination);
  if (out.empty() || out.back() != separator) out += separator;
  out += baseName;
  return out;
}

}  // namespace qm

// The effective destination: where the copy run puts the source folder.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The stored destination, a separator unless its last character already is one, and
// the base name (appended unchanged, even when empty).
std::string effectiveDestination(std::string_view destination, std::string_view baseName,
                                 char separator);

}  // namespace qm

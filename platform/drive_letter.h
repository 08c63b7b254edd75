// Drive names ("C:"), as the windows and the systems' drive services read them.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The drive specification in a spec's first two characters ("c:\Data" gives "C:"); a
// spec without a drive letter (a volume's mount path) is returned unchanged.
inline std::string driveSpecOf(std::string_view spec) {
  const char letter = spec.empty() ? '\0' : spec[0];
  const bool isLetter = (letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z');
  if (spec.size() >= 2 && spec[1] == ':' && isLetter)
    return {static_cast<char>(letter >= 'a' ? letter - 'a' + 'A' : letter), ':'};
  return std::string(spec);
}

}  // namespace qm

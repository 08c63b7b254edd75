// Character counts and slices of UTF-8 text, as text boxes measure selections.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The number of characters (code points) in UTF-8 text.
int utf8Length(std::string_view text);
// `count` characters of UTF-8 text from character `start`.
std::string utf8Substr(std::string_view text, int start, int count);

}  // namespace qm

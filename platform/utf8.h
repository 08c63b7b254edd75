// UTF-8 text: validity, and character counts and slices as text boxes measure selections.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Whether `text` is well-formed UTF-8: no stray or missing continuation bytes, no
// overlong forms, no UTF-16 surrogates, nothing past U+10FFFF.
bool isValidUtf8(std::string_view text);
// The number of characters (code points) in UTF-8 text.
int utf8Length(std::string_view text);
// `count` characters of UTF-8 text from character `start`.
std::string utf8Substr(std::string_view text, int start, int count);

}  // namespace qm

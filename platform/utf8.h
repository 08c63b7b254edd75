// UTF-8 text: validity, character counts and slices as text boxes measure selections, and
// the UTF-16 positions of the same characters, as the toolkits' text controls count them.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Whether `text` is well-formed UTF-8: no stray or missing continuation bytes, no
// overlong forms, no UTF-16 surrogates, nothing past U+10FFFF.
bool isValidUtf8(std::string_view text);
// The code point at byte `i` of valid UTF-8 text, and its length in bytes.
char32_t decodeUtf8(std::string_view text, std::size_t i, std::size_t& length);
// Appends the UTF-8 of the code point `c`.
void appendUtf8(char32_t c, std::string& out);
// The longest start of UTF-8 text within `maxBytes` that ends between two characters.
std::string_view utf8Head(std::string_view text, std::size_t maxBytes);
// The number of characters (code points) in UTF-8 text.
int utf8Length(std::string_view text);
// `count` characters of UTF-8 text from character `start`.
std::string utf8Substr(std::string_view text, int start, int count);

// The UTF-16 position of character `chars` of UTF-8 text (a character past U+FFFF takes
// two positions); the text's UTF-16 length past its end.
int utf16Offset(std::string_view text, int chars);
// The number of characters before UTF-16 position `units`; a position inside a surrogate
// pair counts the pair's character as before it.
int charsBeforeUtf16(std::string_view text, int units);

}  // namespace qm

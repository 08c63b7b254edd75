// UTF-8 validity, character counts and slices.
#include "utf8.h"

#include <algorithm>

namespace qm {

static bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

bool isValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    int more = 0;
    unsigned long code = 0, least = 0;
    if (c < 0x80) {
      ++p;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, code = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, code = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, code = c & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (end - p <= more) return false;
    for (int i = 1; i <= more; ++i) {
      if (!isContinuation(p[i])) return false;
      code = code << 6 | (p[i] & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    p += more + 1;
  }
  return true;
}

char32_t decodeUtf8(std::string_view text, std::size_t i, std::size_t& length) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + length > text.size()) length = 1;
  if (length == 1) return c;
  char32_t cp = c & (0x3F >> (length - 1));
  for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
  return cp;
}

void appendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  out += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
  for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

std::string_view utf8Head(std::string_view text, std::size_t maxBytes) {
  std::size_t length = std::min(text.size(), maxBytes);
  while (length > 0 && length < text.size() && (text[length] & 0xC0) == 0x80) --length;
  return text.substr(0, length);
}

int utf8Length(std::string_view text) {
  int n = 0;
  for (unsigned char c : text)
    if (!isContinuation(c)) ++n;
  return n;
}

// Byte offset of character `index`, or the text's size past its end.
static std::size_t byteOffset(std::string_view text, int index) {
  int seen = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!isContinuation(static_cast<unsigned char>(text[i])) && ++seen == index) return i;
  }
  return text.size();
}

std::string utf8Substr(std::string_view text, int start, int count) {
  const std::size_t from = byteOffset(text, start);
  const std::size_t to = byteOffset(text, start + count);
  return std::string(text.substr(from, to - from));
}

// A lead byte of four (a character past U+FFFF, two UTF-16 units).
static bool isFourByteLead(unsigned char c) {
  return (c & 0xF8) == 0xF0;
}

int utf16Offset(std::string_view text, int chars) {
  int units = 0, seen = 0;
  for (unsigned char c : text) {
    if (isContinuation(c)) continue;
    if (seen++ == chars) break;
    units += isFourByteLead(c) ? 2 : 1;
  }
  return units;
}

int charsBeforeUtf16(std::string_view text, int units) {
  int chars = 0, at = 0;
  for (unsigned char c : text) {
    if (isContinuation(c)) continue;
    if (at >= units) break;
    at += isFourByteLead(c) ? 2 : 1;
    ++chars;
  }
  return chars;
}

}  // namespace qm

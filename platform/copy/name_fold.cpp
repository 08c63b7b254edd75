// Folds names by case and canonical decomposition, on the generated Unicode tables.
#include "name_fold.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace qm::copy {

namespace {

struct CodePointMap {
  char32_t from;
  char32_t to;
};
struct Decomposition {
  char32_t code;
  std::uint16_t first;
  std::uint8_t count;
};

#include "name_fold_data.inc"

template <typename Table>
auto* lookUp(const Table& table, char32_t code) {
  const auto* end = std::end(table);
  const auto* at = std::lower_bound(std::begin(table), end, code,
                                    [](const auto& item, char32_t c) { return item.from < c; });
  return at != end && at->from == code ? at : nullptr;
}

char32_t caseClass(char32_t c) {
  if (c < 0x80) return c >= U'a' && c <= U'z' ? c - 0x20 : c;
  const CodePointMap* found = lookUp(kCaseClasses, c);
  return found ? found->to : c;
}

unsigned combiningClass(char32_t c) {
  if (c < 0x300) return 0;
  const CodePointMap* found = lookUp(kCombiningClasses, c);
  return found ? static_cast<unsigned>(found->to) : 0;
}

// The code point at `i` of valid UTF-8, and its length.
char32_t decode(std::string_view s, std::size_t i, std::size_t& length) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + length > s.size()) length = 1;
  if (length == 1) return c;
  char32_t cp = c & (0x3F >> (length - 1));
  for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
  return cp;
}

void encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
    return;
  }
  static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  const int tail = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  out += static_cast<char>(kLead[tail] | (cp >> (6 * tail)));
  for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
}

// Hands each code point of `name`, folded `how`, to `sink`. Marks that follow a character
// are put in their canonical order; a run of more marks than one character ever carries
// is passed on as it stands.
template <typename Sink>
void fold(std::string_view name, NameFolding how, Sink sink) {
  std::array<char32_t, 32> marks{};
  std::size_t pending = 0;
  const auto flush = [&] {
    std::stable_sort(marks.begin(), marks.begin() + pending,
                     [](char32_t a, char32_t b) { return combiningClass(a) < combiningClass(b); });
    for (std::size_t k = 0; k < pending; ++k) sink(marks[k]);
    pending = 0;
  };
  const auto put = [&](char32_t c) {
    if (how.caseFolds) c = caseClass(c);
    if (!how.formsFold) return sink(c);
    if (combiningClass(c) == 0 || pending == marks.size()) {
      flush();
      return sink(c);
    }
    marks[pending++] = c;
  };
  for (std::size_t i = 0, length = 0; i < name.size(); i += length) {
    const char32_t c = decode(name, i, length);
    if (!how.formsFold || c < 0xC0) {
      put(c);
    } else if (c >= 0xAC00 && c < 0xAC00 + 11172) {  // a Hangul syllable, by its rule
      const char32_t s = c - 0xAC00;
      put(0x1100 + s / 588);
      put(0x1161 + s % 588 / 28);
      if (s % 28 != 0) put(0x11A7 + s % 28);
    } else {
      const auto* end = std::end(kDecompositions);
      const auto* at =
          std::lower_bound(std::begin(kDecompositions), end, c,
                           [](const Decomposition& d, char32_t x) { return d.code < x; });
      if (at == end || at->code != c) {
        put(c);
      } else {
        for (std::size_t k = 0; k < at->count; ++k) put(kDecomposed[at->first + k]);
      }
    }
  }
  flush();
}

}  // namespace

std::string foldName(std::string_view name, NameFolding how) {
  std::string folded;
  folded.reserve(name.size());
  fold(name, how, [&](char32_t c) { encode(c, folded); });
  return folded;
}

// FNV-1a over the folded code points.
std::uint64_t nameKey(std::string_view name) {
  std::uint64_t key = 0xcbf29ce484222325u;
  fold(name, kFoldsAll, [&](char32_t c) {
    key ^= c;
    key *= 0x100000001b3u;
  });
  return key;
}

std::optional<NameFolding> foldingThatJoins(std::string_view a, std::string_view b) {
  for (const NameFolding how : {NameFolding{true, false}, NameFolding{false, true}, kFoldsAll})
    if (foldName(a, how) == foldName(b, how)) return how;
  return std::nullopt;
}

}  // namespace qm::copy

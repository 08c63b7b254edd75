// Folds names by case and canonical decomposition, on the generated Unicode tables.
#include "name_fold.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "utf8.h"

namespace qm::copy {

namespace {

struct CodePointMap {
  char32_t from;
  char32_t to;
};
struct Decomposition {
  char32_t from;
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

// Hands each code point of `name`, folded `how`, to `sink`. Marks that follow a character
// are put in their canonical order; a run of more marks than one character ever carries
// is passed on as it stands.
template <typename Sink>
void fold(std::string_view name, NameFolding how, Sink sink) {
  std::array<char32_t, 32> marks{};
  std::size_t pending = 0;
  const auto flush = [&] {
    if (pending == 0) return;
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
    const char32_t c = decodeUtf8(name, i, length);
    if (!how.formsFold || c < 0xC0) {
      put(c);
    } else if (c >= 0xAC00 && c < 0xAC00 + 11172) {  // a Hangul syllable, by its rule
      const char32_t s = c - 0xAC00;
      put(0x1100 + s / 588);
      put(0x1161 + s % 588 / 28);
      if (s % 28 != 0) put(0x11A7 + s % 28);
    } else {
      const Decomposition* at = lookUp(kDecompositions, c);
      if (!at) put(c);
      for (std::size_t k = 0; at && k < at->count; ++k) put(kDecomposed[at->first + k]);
    }
  }
  flush();
}

}  // namespace

std::string foldName(std::string_view name, NameFolding how) {
  std::string folded;
  folded.reserve(name.size());
  fold(name, how, [&](char32_t c) { appendUtf8(c, folded); });
  return folded;
}

// FNV-1a over the folded code points. Most names are ASCII, which folds by case alone.
std::uint64_t nameKey(std::string_view name) {
  std::uint64_t key = 0xcbf29ce484222325u;
  const auto mix = [&](char32_t c) {
    key ^= c;
    key *= 0x100000001b3u;
  };
  if (std::none_of(name.begin(), name.end(), [](char c) { return c & 0x80; })) {
    for (const char c : name) mix(caseClass(static_cast<unsigned char>(c)));
  } else {
    fold(name, kFoldsAll, mix);
  }
  return key;
}

std::optional<NameFolding> foldingThatJoins(std::string_view a, std::string_view b) {
  for (const NameFolding how : {NameFolding{true, false}, NameFolding{false, true}, kFoldsAll})
    if (foldName(a, how) == foldName(b, how)) return how;
  return std::nullopt;
}

}  // namespace qm::copy

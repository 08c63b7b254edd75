// Names as destinations compare them: case folded for every script, composed and
// decomposed forms taken for one; from tables generated from the Unicode data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm::copy {

// How a destination folder compares names.
struct NameFolding {
  bool caseFolds = false;  // upper and lower case are one (exFAT, NTFS, FAT, shares)
  bool formsFold = false;  // "é" composed and "e" with its accent are one (some shares)
  bool any() const { return caseFolds || formsFold; }
  bool covers(NameFolding needed) const {
    return (caseFolds || !needed.caseFolds) && (formsFold || !needed.formsFold);
  }
};

inline constexpr NameFolding kFoldsAll{true, true};

// The name (valid UTF-8) as a destination that folds names `how` compares it: each
// character in the least code point of its case class, and in canonical decomposition.
std::string foldName(std::string_view name, NameFolding how = kFoldsAll);

// A hash of foldName(name): names that a destination may take for one share it. Allocates
// nothing: it runs for every name the copy checks.
std::uint64_t nameKey(std::string_view name);

// What a destination must fold to take the two names for one; nothing where none does.
std::optional<NameFolding> foldingThatJoins(std::string_view a, std::string_view b);

}  // namespace qm::copy

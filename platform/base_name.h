// Base names of paths: the last component without its extension.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// How paths of one platform are spelled.
struct PathStyle {
  std::string_view separators;  // every character that separates components
  bool driveLetters;            // whether a path may start with a drive such as "C:"
};

inline constexpr PathStyle kWindowsPaths{"\\/", true};
inline constexpr PathStyle kPosixPaths{"/", false};

// The last component of `path` without the part from its last dot on. Trailing separators
// are skipped. Empty for an empty path, a drive or drive root, and a name whose only dot
// is its first character.
std::string baseNameOf(std::string_view path, PathStyle style);

// baseNameOf with the path style of the platform this program runs on.
std::string platformBaseName(std::string_view path);

}  // namespace qm

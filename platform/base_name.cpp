// Base names of paths, independent of the platform the program runs on.
#include "base_name.h"

namespace qm {

namespace {

bool startsWithDrive(std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return false;
  const char letter = path[0];
  return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

}  // namespace

std::string baseNameOf(std::string_view path, PathStyle style) {
  if (style.driveLetters && startsWithDrive(path)) path.remove_prefix(2);
  const size_t end = path.find_last_not_of(style.separators);
  if (end == std::string_view::npos) return {};
  path = path.substr(0, end + 1);
  const size_t lastSeparator = path.find_last_of(style.separators);
  if (lastSeparator != std::string_view::npos) path.remove_prefix(lastSeparator + 1);
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return std::string(path);
  return std::string(path.substr(0, dot));
}

}  // namespace qm

// The user's configuration folder standing in for the Windows directory on Linux.
#include <limits.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/windir.h"

namespace qm {

static std::string configFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config";
}

unsigned getWindowsDirectoryA(char* buffer, unsigned size) {
  std::string dir = configFolder();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const auto needed = static_cast<unsigned>(dir.size() + 1);
  if (needed > size) return needed;
  std::memcpy(buffer, dir.c_str(), needed);
  return needed - 1;
}

unsigned windowsDirectoryBufferWidth(unsigned classicWidth) {
  return std::max(classicWidth, static_cast<unsigned>(PATH_MAX));
}

}  // namespace qm

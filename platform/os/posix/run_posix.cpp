// This process as temporary names record it, read from /proc, and whether a run has ended.
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "os/run.h"

namespace qm::os {
namespace {

// The start time of process `pid` in clock ticks after boot (field 22 of its stat file),
// or nothing when the process does not exist or the file cannot be read.
std::optional<std::uint64_t> startTime(std::uint64_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // The command name in parentheses may hold blanks; the fields after it are plain.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
    if (i == 22) return std::stoull(field);
  }
  return std::nullopt;
}

// The inode number of this process's pid namespace, 0 when it cannot be read.
std::uint64_t pidNamespace() {
  char link[64] = {};
  const ssize_t length = ::readlink("/proc/self/ns/pid", link, sizeof link - 1);
  if (length <= 0) return 0;
  const std::string_view text(link, static_cast<size_t>(length));  // "pid:[4026531836]"
  const size_t open = text.find('[');
  std::uint64_t inode = 0;
  if (open == std::string_view::npos) return 0;
  std::from_chars(text.data() + open + 1, text.data() + text.size(), inode);
  return inode;
}

}  // namespace

// Without /proc the namespace and start time are 0.
const TemporaryOwner& thisRun() {
  static const TemporaryOwner owner = [] {
    const auto pid = static_cast<std::uint64_t>(::getpid());
    const std::uint64_t start = startTime(pid).value_or(0);
    return TemporaryOwner{start == 0 ? 0 : pidNamespace(), pid, start};
  }();
  return owner;
}

bool runEnded(const TemporaryOwner& owner) {
  if (owner.space != 0 && owner.space != thisRun().space) return false;
  if (owner.process == 0 || ::access("/proc/self/stat", R_OK) != 0) return false;
  const auto now = startTime(owner.process);
  if (!now) return true;
  return owner.started != 0 && *now != owner.started;
}

}  // namespace qm::os

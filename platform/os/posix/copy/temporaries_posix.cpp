// Unique, recognisable temporary names, and the clean-up of those whose run has ended.
#include "temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "copy/rules.h"

namespace qm::fs {

namespace {

constexpr std::string_view kPrefix = ".qm-";
constexpr std::string_view kSuffix = ".tmp";

// The start time of process `pid` in clock ticks after boot (field 22 of its stat file),
// or nothing when the process does not exist or the file cannot be read.
std::optional<std::uint64_t> startTime(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
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

// Who this process is, read once. Without /proc the namespace and start time are 0, and
// no run of ours ever removes such names.
const copy::TemporaryOwner& self() {
  static const copy::TemporaryOwner owner = [] {
    const auto pid = static_cast<std::uint64_t>(::getpid());
    const std::uint64_t start = startTime(std::to_string(pid)).value_or(0);
    return copy::TemporaryOwner{start == 0 ? 0 : pidNamespace(), pid, start};
  }();
  return owner;
}

std::vector<std::string_view> numbersIn(std::string_view name) {
  std::vector<std::string_view> parts;
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return parts;
  name.remove_prefix(kPrefix.size());
  name.remove_suffix(kSuffix.size());
  while (true) {
    const size_t dash = name.find('-');
    parts.push_back(name.substr(0, dash));
    if (dash == std::string_view::npos) break;
    name.remove_prefix(dash + 1);
  }
  for (std::string_view part : parts) {
    if (part.empty() || part.find_first_not_of("0123456789") != std::string_view::npos) {
      return {};
    }
  }
  return parts;
}

bool processEnded(std::string_view pid, std::optional<std::uint64_t> started) {
  if (::access("/proc/self/stat", R_OK) != 0) return false;  // no way to tell
  const auto now = startTime(std::string(pid));
  if (!now) return true;
  return started && *now != *started;
}

}  // namespace

std::string temporaryName() {
  static std::atomic<std::uint64_t> counter{0};
  return copy::temporaryName(self(), ++counter);
}

bool isStaleTemporary(std::string_view name) {
  if (const auto owner = copy::temporaryOwner(name)) {
    const copy::TemporaryOwner& me = self();
    if (me.started == 0 || owner->space != me.space) return false;
    return processEnded(std::to_string(owner->process), owner->started);
  }
  // ".qm-<process>-<counter>.tmp", the form of earlier versions.
  const std::vector<std::string_view> parts = numbersIn(name);
  return parts.size() == 2 && processEnded(parts[0], std::nullopt);
}

void removeStaleTemporaries(int dirFd) {
  // A duplicate shares the folder's open description (not listed before): no second open
  // on slow volumes.
  const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (listFd < 0) return;
  DIR* listing = ::fdopendir(listFd);
  if (listing == nullptr) {
    ::close(listFd);
    return;
  }
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(listing)) {
    if (entry->d_name[0] == '.' && isStaleTemporary(entry->d_name))
      stale.emplace_back(entry->d_name);
  }
  ::closedir(listing);
  for (const std::string& name : stale) ::unlinkat(dirFd, name.c_str(), 0);
}

}  // namespace qm::fs

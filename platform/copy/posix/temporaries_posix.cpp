// Unique, recognisable temporary names, and the clean-up of those whose run has ended.
#include "temporaries.h"

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "errors.h"
#include "folder_reader.h"
#include "os/run.h"

namespace qm::posix {

namespace {

constexpr std::string_view kPrefix = ".qm-";
constexpr std::string_view kSuffix = ".tmp";

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

}  // namespace

std::string temporaryName() {
  static std::atomic<std::uint64_t> counter{0};
  return qm::temporaryName(os::thisRun(), ++counter);
}

bool isStaleTemporary(std::string_view name) {
  // A run that cannot tell its own start time cannot tell whether others have ended.
  if (os::thisRun().started == 0) return false;
  if (const auto owner = temporaryOwner(name)) {
    return owner->space == os::thisRun().space && os::runEnded(*owner);
  }
  // ".qm-<process>-<counter>.tmp", the form of earlier versions.
  const std::vector<std::string_view> parts = numbersIn(name);
  std::uint64_t process = 0;
  if (parts.size() != 2 ||
      std::from_chars(parts[0].data(), parts[0].data() + parts[0].size(), process).ec !=
          std::errc()) {
    return false;
  }
  return os::runEnded(TemporaryOwner{0, process, 0});
}

void removeStaleTemporaries(int dirFd) {
  std::vector<std::string> stale;
  const std::string unnamed;  // a listing that fails is not told: it just ends there
  try {
    // The folder was not listed before: it starts at its first entry.
    FolderReader listing(dirFd, unnamed, false);
    while (const dirent64* entry = listing.next()) {
      if (entry->d_name[0] == '.' && isStaleTemporary(entry->d_name))
        stale.emplace_back(entry->d_name);
    }
  } catch (const RuntimeError&) {
  }
  for (const std::string& name : stale) ::unlinkat(dirFd, name.c_str(), 0);
}

}  // namespace qm::posix

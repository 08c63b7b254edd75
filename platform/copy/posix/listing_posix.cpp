// Lists a source folder: names and types from the listing, status read where needed.
#include "listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <string_view>

#include "copy/packing.h"
#include "copy/report.h"
#include "errors.h"
#include "link_access.h"
#include "copy_errors.h"
#include "folder_reader.h"

namespace qm::posix {

namespace {

using copy::Listed;

// Sockets belong to a running program and devices to the system: neither is data worth
// copying, so they are left out.
Listed kindOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return Listed::Folder;
  if (S_ISREG(mode)) return Listed::File;
  if (S_ISLNK(mode) || S_ISFIFO(mode)) return Listed::Special;
  return Listed::LeftOut;
}

Listed kindOfType(unsigned char type) {
  switch (type) {
    case DT_DIR: return Listed::Folder;
    case DT_REG: return Listed::File;
    case DT_LNK:
    case DT_FIFO: return Listed::Special;
    default: return Listed::LeftOut;
  }
}

// A time as packed: seconds, then nanoseconds.
void packTime(std::string& into, const timespec& time) {
  copy::packValue(into, static_cast<std::int64_t>(time.tv_sec));
  copy::packValue(into, static_cast<std::int32_t>(time.tv_nsec));
}

timespec unpackTime(std::string_view& from) {
  timespec time{};
  time.tv_sec = static_cast<time_t>(copy::unpackValue<std::int64_t>(from));
  time.tv_nsec = copy::unpackValue<std::int32_t>(from);
  return time;
}

enum PackedFlags : unsigned char { kStatted = 1, kListedRegular = 2, kFollowed = 4 };

}  // namespace

// The status's fields that the copy reads: type and permissions, owner, links, size and
// blocks, identity, the three times.
void packEntry(const Entry& entry, std::string& into) {
  const unsigned char flags = (entry.statted ? kStatted : 0) |
                              (entry.listedRegular ? kListedRegular : 0) |
                              (entry.followed ? kFollowed : 0);
  copy::packValue(into, flags);
  copy::packValue(into, entry.leftOut);
  copy::packBytes(into, entry.name.data(), entry.name.size());
  if (!entry.statted) return;
  const struct stat& st = entry.st;
  copy::packValue(into, static_cast<std::uint32_t>(st.st_mode));
  copy::packValue(into, static_cast<std::uint32_t>(st.st_uid));
  copy::packValue(into, static_cast<std::uint32_t>(st.st_gid));
  copy::packValue(into, static_cast<std::uint64_t>(st.st_nlink));
  copy::packValue(into, static_cast<std::int64_t>(st.st_size));
  copy::packValue(into, static_cast<std::int64_t>(st.st_blocks));
  copy::packValue(into, static_cast<std::uint64_t>(st.st_dev));
  copy::packValue(into, static_cast<std::uint64_t>(st.st_ino));
  packTime(into, st.st_atim);
  packTime(into, st.st_mtim);
  packTime(into, st.st_ctim);
}

Entry unpackEntry(std::string_view& from) {
  Entry entry{};
  const auto flags = copy::unpackValue<unsigned char>(from);
  entry.statted = (flags & kStatted) != 0;
  entry.listedRegular = (flags & kListedRegular) != 0;
  entry.followed = (flags & kFollowed) != 0;
  entry.leftOut = copy::unpackValue<copy::LeftOut>(from);
  entry.name = copy::unpackBytes(from);
  if (!entry.statted) return entry;
  struct stat& st = entry.st;
  st.st_mode = static_cast<mode_t>(copy::unpackValue<std::uint32_t>(from));
  st.st_uid = static_cast<uid_t>(copy::unpackValue<std::uint32_t>(from));
  st.st_gid = static_cast<gid_t>(copy::unpackValue<std::uint32_t>(from));
  st.st_nlink = static_cast<nlink_t>(copy::unpackValue<std::uint64_t>(from));
  st.st_size = static_cast<off_t>(copy::unpackValue<std::int64_t>(from));
  st.st_blocks = static_cast<blkcnt_t>(copy::unpackValue<std::int64_t>(from));
  st.st_dev = static_cast<dev_t>(copy::unpackValue<std::uint64_t>(from));
  st.st_ino = static_cast<ino_t>(copy::unpackValue<std::uint64_t>(from));
  st.st_atim = unpackTime(from);
  st.st_mtim = unpackTime(from);
  st.st_ctim = unpackTime(from);
  return entry;
}

void statEntry(const DirNode& dir, Entry& entry, bool follow) {
  if (::fstatat(dir.sourceFd(), entry.name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
    throwSourceError(errno, dir.sourceChild(entry.name));
  }
  entry.statted = true;
  if (!follow || !S_ISLNK(entry.st.st_mode)) return;
  struct stat target {};
  if (::fstatat(dir.sourceFd(), entry.name.c_str(), &target, 0) != 0) {
    if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR)
      throwSourceError(errno, dir.sourceChild(entry.name));
    entry.leftOut = copy::LeftOut::Dangling;
    return;
  }
  // A copy with more rights than the link's owner does not publish what that owner could
  // not read: the link is left out, as one that leads nowhere.
  const std::string through = "/proc/self/fd/" + std::to_string(dir.sourceFd()) + "/" + entry.name;
  if (!linkOwnerMayRead(entry.st, target, through)) {
    entry.leftOut = copy::LeftOut::Unreadable;
    return;
  }
  entry.st = target;
  entry.followed = true;
}

void listFolder(const DirNode& dir, bool measure, bool follow, const EmitEntry& emit) {
  FolderReader listing(dir.sourceFd(), dir.sourcePath);
  while (const dirent64* found = listing.next()) {
    std::string name = found->d_name;
    const unsigned char type = found->d_type;
    Entry entry{std::move(name), {}, false, type == DT_REG, false};
    if (type != DT_DIR && (measure || type == DT_UNKNOWN || (follow && type == DT_LNK))) {
      try {
        statEntry(dir, entry, follow);
      } catch (const copy::SourceError& error) {
        if (error.number == err::kFileNotFound) continue;  // gone since it was listed
        throw;
      }
    }
    const bool dangling =
        entry.leftOut == copy::LeftOut::Dangling || entry.leftOut == copy::LeftOut::Unreadable;
    const Listed kind = dangling        ? Listed::LeftOut
                        : entry.statted ? kindOfMode(entry.st.st_mode)
                                        : kindOfType(type);
    if (!emit(std::move(entry), kind)) return;
  }
}

std::vector<std::string> destinationFolders(const DirNode& dir) {
  std::vector<std::string> folders;
  if (!dir.hasDestination) return folders;
  // A description of its own: the walk may list the same folder's meanwhile.
  const UniqueFd own(::openat(dir.destinationFd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!own.valid()) throwCopyError(errno, dir.destinationPath);
  FolderReader listing(own.get(), dir.destinationPath, false);
  while (const dirent64* item = listing.next()) {
    const std::string_view name = item->d_name;
    struct stat st {};
    const bool folder = item->d_type == DT_DIR || (item->d_type == DT_UNKNOWN &&
                                                   ::fstatat(dir.destinationFd(), item->d_name, &st,
                                                             AT_SYMLINK_NOFOLLOW) == 0 &&
                                                   S_ISDIR(st.st_mode));
    if (folder) folders.emplace_back(name);
  }
  return folders;
}

}  // namespace qm::posix

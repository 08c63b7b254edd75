// Owner, extended attributes, ACLs, permission bits and times of copied entries. A call
// that only sets metadata and fails because the volume refuses it is passed over; any
// other failure stops the copy.
#include "metadata.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "system.h"
#include "copy_errors.h"

namespace qm::posix {

namespace {

constexpr std::string_view kAccessAcl = "system.posix_acl_access";
constexpr std::string_view kDefaultAcl = "system.posix_acl_default";
// Like the set-user-ID bit, a privilege that must not pass to another owner.
constexpr std::string_view kCapabilities = "security.capability";

// 0 when `result` is 0 or the volume refused the metadata, else the errno.
int outcome(int result) {
  return result == 0 || metadataRefused(errno) ? 0 : errno;
}

bool sameOwner(const struct stat& a, const struct stat& b) {
  return a.st_uid == b.st_uid && a.st_gid == b.st_gid;
}

// The owner and group a new entry of `dir` gets without a chown.
bool ownerByDefault(const DirNode& dir, const struct stat& st) {
  const struct stat& folder = dir.destinationStat;
  const gid_t group = (folder.st_mode & S_ISGID) != 0 ? folder.st_gid : dir.run->gid;
  return st.st_uid == dir.run->uid && st.st_gid == group;
}

// Gives `fd` the owner of `st` where this process may: all of it as root, the group alone
// for the owner's own files. Sets `kept` when it succeeded.
int copyOwner(int fd, const struct stat& st, uid_t self, bool& kept) {
  int result = 0;
  if (self == 0) {
    result = ::fchown(fd, st.st_uid, st.st_gid);
  } else if (st.st_uid == self) {
    result = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
  } else {
    return 0;
  }
  kept = result == 0;
  return outcome(result);
}

// Whether `fd` (which got `st`'s owner if `kept`) really has the source's owner: checked on
// the volume for set-ID entries, where a mapped owner (root squashed on NFS) matters.
bool ownerKept(int fd, const struct stat& st, bool kept) {
  if (!kept || (st.st_mode & 06000) == 0) return kept;
  struct stat now {};
  return ::fstat(fd, &now) == 0 && sameOwner(now, st);
}

// The names of `fd`'s extended attributes, NUL-separated; empty when it has none or the
// volume has none. Returns the errno of a failure to read them, else 0.
int listAttributes(int fd, std::vector<char>& names) {
  names.resize(1024);
  for (;;) {
    const ssize_t size = ::flistxattr(fd, names.data(), names.size());
    if (size >= 0) {
      names.resize(static_cast<size_t>(size));
      return 0;
    }
    if (errno == ENOTSUP || errno == ENOSYS) {
      names.clear();
      return 0;
    }
    if (errno != ERANGE) return errno;
    const ssize_t needed = ::flistxattr(fd, nullptr, 0);
    if (needed < 0) return errno;
    names.resize(static_cast<size_t>(needed) + 1024);
  }
}

// The value of attribute `name` of `fd`; false when it vanished meanwhile.
int readAttribute(int fd, const char* name, std::vector<char>& value, bool& present) {
  value.resize(4096);
  for (;;) {
    const ssize_t size = ::fgetxattr(fd, name, value.data(), value.size());
    if (size >= 0) {
      value.resize(static_cast<size_t>(size));
      present = true;
      return 0;
    }
    if (errno == ENODATA) return 0;
    if (errno != ERANGE) return errno;
    const ssize_t needed = ::fgetxattr(fd, name, nullptr, 0);
    if (needed < 0) return errno == ENODATA ? 0 : errno;
    value.resize(static_cast<size_t>(needed) + 1024);
  }
}

bool listed(const std::vector<char>& names, std::string_view name) {
  for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
    if (name == names.data() + at) return true;
  }
  return false;
}

// Copies the extended attributes, ACLs among them, of `in` to `out`. Without `privileged`,
// file capabilities stay behind. `inherited` says `out` may hold ACLs handed down by its
// folder: those the source lacks are removed, so the copy grants what the source grants.
int copyAttributes(int in, int out, bool privileged, bool inherited, bool folder) {
  thread_local std::vector<char> names;
  thread_local std::vector<char> value;
  if (const int error = listAttributes(in, names)) return error;
  for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
    const char* name = names.data() + at;
    if (!privileged && name == kCapabilities) continue;
    bool present = false;
    if (const int error = readAttribute(in, name, value, present)) return error;
    if (!present || ::fsetxattr(out, name, value.data(), value.size(), 0) == 0) continue;
    // A value too large for this volume's attribute space is a refusal too.
    if (!metadataRefused(errno) && errno != ENOSPC) return errno;
  }
  if (!inherited) return 0;
  for (const std::string_view acl : {kAccessAcl, kDefaultAcl}) {
    if ((folder || acl == kAccessAcl) && !listed(names, acl) &&
        ::fremovexattr(out, acl.data()) != 0 && !metadataRefused(errno)) {
      return errno;
    }
  }
  return 0;
}

int copyModeAndTimes(int out, const struct stat& st, bool kept, const VolumeRules& volume,
                     mode_t made) {
  const mode_t mode = st.st_mode & (kept ? 07777 : 0777);
  if (volume.keepsModes && mode != made) {
    if (const int error = outcome(::fchmod(out, mode))) return error;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return outcome(::futimens(out, times));
}

}  // namespace

mode_t creationMode(const DirNode& dir, const struct stat& st) {
  const mode_t mode = st.st_mode & 07777;
  const bool asIs = (mode & 07000) == 0 && (mode & S_IWUSR) != 0 && (mode & dir.run->umask) == 0 &&
                    ownerByDefault(dir, st) && !dir.inheritsAcl();
  return asIs ? mode : 0600;
}

mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) != 0) continue;
    unsigned long bits = 07777;
    std::istringstream(line.substr(6)) >> std::oct >> bits;
    return static_cast<mode_t>(bits & 07777);
  }
  return 07777;
}

int copyFileMetadata(const DirNode& dir, int in, int out, const struct stat& st, mode_t made) {
  bool kept = ownerByDefault(dir, st);
  if (!kept) {
    if (const int error = copyOwner(out, st, dir.run->uid, kept)) return error;
  }
  kept = ownerKept(out, st, kept);
  if (const int error = copyAttributes(in, out, kept, dir.inheritsAcl(), false)) return error;
  return copyModeAndTimes(out, st, kept, *dir.volume, made);
}

bool onlyTimesLeft(const DirNode& dir, int in, const struct stat& st, mode_t made) {
  if (!ownerByDefault(dir, st) || dir.inheritsAcl()) return false;
  if (dir.volume->keepsModes && (st.st_mode & 07777) != made) return false;
  thread_local std::vector<char> names;
  return listAttributes(in, names) == 0 && names.empty();
}

int copyTimesByName(const DirNode& dir, const std::string& built, const struct stat& st) {
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return outcome(::utimensat(dir.destinationFd(), built.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

void copyEntryMetadata(const DirNode& dir, const std::string& built, const struct stat& st,
                       const std::string& name) {
  const int fd = dir.destinationFd();
  const uid_t self = dir.run->uid;
  bool kept = ownerByDefault(dir, st);
  int error = 0;
  if (!kept && (self == 0 || st.st_uid == self)) {
    const uid_t owner = self == 0 ? st.st_uid : static_cast<uid_t>(-1);
    const int result = ::fchownat(fd, built.c_str(), owner, st.st_gid, AT_SYMLINK_NOFOLLOW);
    kept = result == 0;
    error = outcome(result);
  }
  if (error == 0 && S_ISFIFO(st.st_mode) && dir.volume->keepsModes) {
    error = outcome(::fchmodat(fd, built.c_str(), st.st_mode & (kept ? 07777 : 0777), 0));
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (error == 0) error = outcome(::utimensat(fd, built.c_str(), times, AT_SYMLINK_NOFOLLOW));
  if (error != 0) throwCopyError(error, dir.destinationChild(name));
}

void finishFolder(const DirNode& node) {
  const int out = node.destinationFd();
  const struct stat& st = node.sourceStat;
  // What the folder holds now: on a re-copy it mostly matches already, and each call
  // left out is a round trip saved on slow volumes.
  struct stat now {};
  if (::fstat(out, &now) != 0) throwCopyError(errno, node.destinationPath);
  bool kept = sameOwner(now, st);
  int error = 0;
  if (!kept) error = copyOwner(out, st, node.run->uid, kept);
  kept = ownerKept(out, st, kept);
  // Only a folder this copy made holds ACLs it did not ask for.
  const bool inherited = node.fresh && node.inheritsAcl();
  if (error == 0) error = copyAttributes(node.sourceFd(), out, kept, inherited, true);
  const mode_t mode = st.st_mode & (kept ? 07777 : 0777);
  if (error == 0 && node.volume->keepsModes && (now.st_mode & 07777) != mode) {
    error = outcome(::fchmod(out, mode));
  }
  if (error == 0 &&
      !copy::sameTime(nanoseconds(now.st_mtim), nanoseconds(st.st_mtim), node.volume->times)) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    error = outcome(::futimens(out, times));
  }
  if (error != 0) throwCopyError(error, node.destinationPath);
}

}  // namespace qm::posix

// Probes a destination volume for the metadata it keeps, and compares files at its steps.
#include "volume.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "limits.h"
#include "copy_errors.h"
#include "os/posix/unique_fd.h"
#include "temporaries.h"

namespace qm::posix {

namespace {

// The name of the kernel file system that holds `dirFd`, as the rules know the types; FUSE
// volumes say nothing here and are learned from the probe alone.
std::string_view typeName(int dirFd) {
  struct statfs info {};
  if (::fstatfs(dirFd, &info) != 0) return "";
  switch (static_cast<unsigned long>(info.f_type)) {
    case MSDOS_SUPER_MAGIC: return "vfat";
    case 0x2011BAB0UL: return "exfat";
    case 0x5346544EUL: return "ntfs";
    case 0x7366746EUL: return "ntfs3";
    case 0xFF534D42UL: return "cifs";
    case 0xFE534D42UL: return "smb2";
    default: return "";
  }
}

}  // namespace

bool keepsFileNumbers(int dirFd) {
  struct statfs info {};
  if (::fstatfs(dirFd, &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type)) {
    case MSDOS_SUPER_MAGIC:
    case 0x2011BAB0UL:  // exFAT
    case 0x65735546UL:  // FUSE
      return false;
    default: return true;
  }
}

namespace {

// A probe file in `dirFd` that disappears when closed, or a named one that `remove` names.
UniqueFd createProbe(int dirFd, std::string& remove) {
  UniqueFd fd(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (fd.valid()) return fd;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string name = temporaryName();
    fd = UniqueFd(
        ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.valid()) {
      remove = name;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return UniqueFd();
}

void learnFrom(int fd, VolumeRules& rules, std::int64_t typeStep) {
  struct stat st {};
  // Only a refusal says the volume keeps no modes; a fault of the device says nothing.
  if (::fchmod(fd, 0640) != 0) {
    rules.keepsModes = !metadataRefused(errno);
  } else {
    rules.keepsModes = ::fstat(fd, &st) != 0 || (st.st_mode & 07777) == 0640;
  }
  // An odd second just short of the next: truncation to any step loses almost a step.
  const struct timespec requested = {1'000'000'001, 999'999'999};
  const struct timespec times[2] = {requested, requested};
  if (::futimens(fd, times) != 0 || ::fstat(fd, &st) != 0) return;
  rules.times = copy::learnTimes(nanoseconds(requested), nanoseconds(st.st_mtim), typeStep);
  rules.keepsChangeTime = nanoseconds(st.st_ctim) != nanoseconds(st.st_mtim);
}

// Whether a file written, given a time, closed and renamed over another in `dirFd` comes
// out with another time, as the real copies of files that replace older ones do.
bool losesTimesOnRename(int dirFd, const copy::VolumeTimes& kept) {
  const std::string written = temporaryName(), replaced = temporaryName();
  UniqueFd fd(::openat(dirFd, written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  const UniqueFd other(
      ::openat(dirFd, replaced.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  bool lost = false;
  const struct timespec requested = {1'000'000'000, 0};  // on every volume's grid
  const struct timespec times[2] = {requested, requested};
  struct stat st {};
  if (fd.valid() && other.valid() && ::write(fd.get(), "x", 1) == 1 &&
      ::futimens(fd.get(), times) == 0 && fd.closeChecked() == 0 &&
      ::renameat(dirFd, written.c_str(), dirFd, replaced.c_str()) == 0 &&
      ::fstatat(dirFd, replaced.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    lost = !copy::sameTime(nanoseconds(st.st_mtim), nanoseconds(requested), kept);
  }
  ::unlinkat(dirFd, written.c_str(), 0);
  ::unlinkat(dirFd, replaced.c_str(), 0);
  return lost;
}

}  // namespace

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * copy::kSecondNs + time.tv_nsec;
}

// Whether a symbolic link can be made in `dirFd`: only a refusal says it cannot.
bool takesLinks(int dirFd) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string name = temporaryName();
    if (::symlinkat(".", dirFd, name.c_str()) == 0) {
      ::unlinkat(dirFd, name.c_str(), 0);
      return true;
    }
    if (errno != EEXIST) return !metadataRefused(errno) && errno != EOPNOTSUPP;
  }
  return true;
}

// Whether a FIFO can be made in `dirFd`.
bool takesFifos(int dirFd) {
  const std::string name = temporaryName();
  const bool made = ::mkfifoat(dirFd, name.c_str(), 0600) == 0;
  // A driver that fails the call may still have left an entry under the name.
  ::unlinkat(dirFd, name.c_str(), 0);
  return made;
}

VolumeRules probeVolume(int dirFd, bool askLinks) {
  VolumeRules rules;
  const std::int64_t typeStep = copy::typeTimeStepNs(typeName(dirFd));
  rules.times.stepNs = typeStep;
  std::string named;
  UniqueFd probe = createProbe(dirFd, named);
  if (probe.valid()) learnFrom(probe.get(), rules, typeStep);
  probe.reset();
  if (!named.empty()) {
    // No unnamed probe here, so not a kernel volume that keeps times as they are set.
    ::unlinkat(dirFd, named.c_str(), 0);
    rules.timesLostOnRename = losesTimesOnRename(dirFd, rules.times);
  }
  if (askLinks) rules.keepsLinks = takesLinks(dirFd);
  rules.keepsFifos = takesFifos(dirFd);
  rules.names = namesFold(dirFd);
  return rules;
}

bool unchangedFile(const struct stat& source, const struct stat& target, const VolumeRules& rules) {
  // A copy whose owner is not the source's holds no set-user-ID or set-group-ID bit.
  mode_t expected = source.st_mode & 07777;
  if (source.st_uid != target.st_uid || source.st_gid != target.st_gid) expected &= 0777;
  const copy::FileFacts from{static_cast<std::uint64_t>(source.st_size),
                             nanoseconds(source.st_mtim), nanoseconds(source.st_ctim), expected,
                             true};
  const copy::FileFacts to{static_cast<std::uint64_t>(target.st_size), nanoseconds(target.st_mtim),
                           nanoseconds(target.st_ctim),
                           static_cast<std::uint32_t>(target.st_mode & 07777),
                           S_ISREG(target.st_mode)};
  return copy::unchanged(from, to, rules.times, rules.keeps());
}

bool sameFileState(const struct stat& now, const struct stat& before) {
  return now.st_dev == before.st_dev && now.st_ino == before.st_ino &&
         (now.st_mode & S_IFMT) == (before.st_mode & S_IFMT) && now.st_size == before.st_size &&
         nanoseconds(now.st_mtim) == nanoseconds(before.st_mtim) &&
         nanoseconds(now.st_ctim) == nanoseconds(before.st_ctim);
}

}  // namespace qm::posix

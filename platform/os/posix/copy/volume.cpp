// Probes a destination volume for the metadata it keeps, and compares files at its steps.
#include "volume.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "os/posix/error_numbers.h"
#include "os/posix/unique_fd.h"
#include "temp_files.h"

namespace qm::fs {

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * kSecond + time.tv_nsec;
}

// Kernel file systems whose time steps are known from their type; FUSE volumes say nothing
// here and are learned from the probe alone.
std::int64_t typeTimeStep(int dirFd) {
  struct statfs info {};
  if (::fstatfs(dirFd, &info) != 0) return 1;
  switch (static_cast<unsigned long>(info.f_type)) {
    case MSDOS_SUPER_MAGIC: return 2 * kSecond;
    case 0x2011BAB0UL: return 10'000'000;  // exFAT
    case 0x5346544EUL:                     // NTFS
    case 0x7366746EUL:                     // ntfs3
    case 0xFF534D42UL:                     // CIFS
    case 0xFE534D42UL: return 100;         // SMB2
    default: return 1;
  }
}

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

void learnFrom(int fd, VolumeTraits& traits) {
  struct stat st {};
  // Only a refusal says the volume keeps no modes; a fault of the device says nothing.
  if (::fchmod(fd, 0640) != 0) {
    traits.keepsModes = !metadataRefused(errno);
  } else {
    traits.keepsModes = ::fstat(fd, &st) != 0 || (st.st_mode & 07777) == 0640;
  }
  // An odd second just short of the next: truncation to any step loses almost a step.
  const struct timespec requested = {1'000'000'001, 999'999'999};
  const struct timespec times[2] = {requested, requested};
  if (::futimens(fd, times) != 0 || ::fstat(fd, &st) != 0) return;
  traits.timeStepNs = timeStepFromLoss(std::abs(nanoseconds(requested) - nanoseconds(st.st_mtim)));
  traits.keepsChangeTime = nanoseconds(st.st_ctim) != nanoseconds(st.st_mtim);
}

}  // namespace

std::int64_t timeStepFromLoss(std::int64_t lossNs) {
  constexpr std::int64_t kSteps[] = {1, 100, 1000, 1'000'000, 10'000'000, kSecond, 2 * kSecond};
  for (const std::int64_t step : kSteps) {
    if (lossNs < step) return step;
  }
  return lossNs + 1;
}

VolumeTraits probeVolume(int dirFd) {
  VolumeTraits traits;
  std::string named;
  UniqueFd probe = createProbe(dirFd, named);
  if (probe.valid()) learnFrom(probe.get(), traits);
  probe.reset();
  if (!named.empty()) ::unlinkat(dirFd, named.c_str(), 0);
  traits.timeStepNs = std::max(traits.timeStepNs, typeTimeStep(dirFd));
  return traits;
}

bool unchangedFile(const struct stat& source, const struct stat& target,
                   const VolumeTraits& traits) {
  if (!S_ISREG(target.st_mode) || source.st_size != target.st_size) return false;
  if (std::abs(nanoseconds(source.st_mtim) - nanoseconds(target.st_mtim)) >= traits.timeStepNs) {
    return false;
  }
  // A copy whose owner is not the source's holds no set-user-ID or set-group-ID bit.
  mode_t expected = source.st_mode & 07777;
  if (source.st_uid != target.st_uid || source.st_gid != target.st_gid) expected &= 0777;
  if (traits.keepsModes && expected != (target.st_mode & 07777)) return false;
  return !traits.keepsChangeTime || nanoseconds(target.st_ctim) != nanoseconds(target.st_mtim);
}

}  // namespace qm::fs

// Learns a destination volume's limits from its type, its mount and a probe name.
#include "limits.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "create_error.h"
#include "errors.h"
#include "medium.h"
#include "os/posix/unique_fd.h"
#include "temporaries.h"
#include "utf8.h"

namespace qm::posix {

namespace {

constexpr std::uint64_t kFatFileLimit = (std::uint64_t{4} << 30) - 1;

enum class Kind { Other, Fat, Exfat, Ntfs, Smb };

struct Mount {
  std::string type;  // in lower case ("fuseblk", "fuse.fusefat")
  std::string source;
};

// The mount of the volume `device`, from this process's mount table.
Mount mountOf(dev_t device) {
  std::ifstream table("/proc/self/mountinfo");
  const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers, word;
    fields >> id >> parent >> numbers;
    if (numbers != wanted) continue;
    while (fields >> word && word != "-") {
    }
    Mount mount;
    fields >> mount.type >> mount.source;
    for (char& c : mount.type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return mount;
  }
  return {};
}

// The type of a FUSE mount: its subtype ("fuse.fusefat"), or for a block device mounted
// by a FUSE driver ("fuseblk"), the signature at the start of the device where it can be
// read.
Kind fuseKind(dev_t device) {
  const auto [type, source] = mountOf(device);
  if (type.find("exfat") != std::string::npos) return Kind::Exfat;
  if (type.find("fat") != std::string::npos) return Kind::Fat;
  if (type.find("ntfs") != std::string::npos) return Kind::Ntfs;
  if (type != "fuseblk") return Kind::Other;
  char head[90] = {};
  std::ifstream deviceFile(source, std::ios::binary);
  if (!deviceFile.read(head, sizeof head)) return Kind::Other;
  const std::string_view start(head, sizeof head);
  if (start.substr(3, 8) == "EXFAT   ") return Kind::Exfat;
  if (start.substr(3, 8) == "NTFS    ") return Kind::Ntfs;
  if (start.substr(82, 5) == "FAT32" || start.substr(54, 3) == "FAT") return Kind::Fat;
  return Kind::Other;
}

Kind kindOf(int dirFd) {
  struct statfs info {};
  struct stat st {};
  if (::fstatfs(dirFd, &info) != 0 || ::fstat(dirFd, &st) != 0) return Kind::Other;
  switch (static_cast<unsigned long>(info.f_type)) {
    case MSDOS_SUPER_MAGIC: return Kind::Fat;
    case 0x2011BAB0UL: return Kind::Exfat;
    case 0x5346544EUL:
    case 0x7366746EUL: return Kind::Ntfs;
    case 0xFF534D42UL:
    case 0xFE534D42UL: return Kind::Smb;
    case FUSE_SUPER_MAGIC: return fuseKind(st.st_dev);
    default: return Kind::Other;
  }
}

// Whether the folder refuses a name with a character Windows does not take: a volume of
// an unknown type that keeps names the Windows way.
bool refusesWindowsNames(int dirFd) {
  const std::string name = temporaryName() + "?";
  const int fd =
      ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    ::unlinkat(dirFd, name.c_str(), 0);
    return false;
  }
  return errno == EINVAL || errno == EPERM || errno == ENOENT || errno == EILSEQ;
}

}  // namespace

bool isRiskyMedium(int dirFd) {
  struct statfs info {};
  if (::fstatfs(dirFd, &info) != 0) return true;  // unknown
  const Medium medium = mediumOf(dirFd);
  return medium == Medium::Removable || medium == Medium::Network || medium == Medium::Fuse ||
         kindOf(dirFd) != Kind::Other;
}

copy::VolumeLimits volumeLimits(int dirFd) {
  copy::VolumeLimits limits;
  const Kind kind = kindOf(dirFd);
  limits.windowsNames = kind != Kind::Other || refusesWindowsNames(dirFd);
  if (kind == Kind::Fat) {
    limits.maxFileSize = kFatFileLimit;
    limits.typeName = "FAT32";
  }
  limits.keepsHoles = kind != Kind::Fat && kind != Kind::Exfat;
  struct statvfs space {};
  // A volume that gives no size (the FUSE FAT driver) gives no free figure either.
  if (::fstatvfs(dirFd, &space) == 0 && space.f_blocks > 0 && space.f_frsize > 0) {
    limits.freeBytes = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    limits.unit = space.f_frsize;
  }
  return limits;
}

namespace {

// Whether a probe file made as `made` in `dirFd` is found as `other`. The other name is this
// run's own: found, it can only be the probe itself.
bool foundAs(int dirFd, const std::string& made, const std::string& other) {
  const UniqueFd fd(
      ::openat(dirFd, made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return false;  // the copy will fail on this folder anyway
  struct stat found {};
  const bool same = ::fstatat(dirFd, other.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0;
  ::unlinkat(dirFd, made.c_str(), 0);
  return same;
}

}  // namespace

bool takesName(int dirFd, std::string_view name) {
  // Its start, so that the probe's name stays within every limit.
  const std::string probe = temporaryName() + "-" + std::string(utf8Head(name, 120));
  const UniqueFd fd(
      ::openat(dirFd, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.valid()) {
    ::unlinkat(dirFd, probe.c_str(), 0);
    return true;
  }
  // Any other failure (permission, a full folder) is the copy's to meet and report.
  return createErrorNumber(dirFd, errno, err::kBadFileName) != err::kBadFileName;
}

copy::NameFolding namesFold(int dirFd) {
  const std::string name = temporaryName();
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  copy::NameFolding folding;
  folding.caseFolds = foundAs(dirFd, name, upper);
  // "é" composed, looked up as "e" and the combining acute accent.
  const std::string plain = temporaryName();
  folding.formsFold = foundAs(dirFd, plain + "\xC3\xA9", plain + "e\xCC\x81");
  return folding;
}

}  // namespace qm::posix

// Tells a destination's medium from its file-system type and its block device under /sys.
#include "medium.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

namespace qm::posix {

namespace {

// The flag in the file `path` (a "0" or "1" of /sys); false where there is none.
bool flagSet(const std::string& path) {
  std::ifstream file(path);
  char flag = '0';
  return file >> flag && flag == '1';
}

// What /sys says of the block device `device`, or of the disk it is a partition of.
Medium blockMedium(dev_t device) {
  char resolved[PATH_MAX];
  const std::string link =
      "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
  if (::realpath(link.c_str(), resolved) == nullptr) return Medium::Solid;
  const std::string path = resolved;
  if (path.find("/usb") != std::string::npos) return Medium::Removable;
  // A partition has no queue of its own: the disk above it has.
  const std::string disk = path.substr(0, path.rfind('/'));
  if (flagSet(path + "/removable") || flagSet(disk + "/removable")) return Medium::Removable;
  if (flagSet(path + "/queue/rotational") || flagSet(disk + "/queue/rotational"))
    return Medium::Rotational;
  return Medium::Solid;
}

}  // namespace

Medium mediumOf(int dirFd) {
  struct statfs info {};
  struct stat st {};
  if (::fstatfs(dirFd, &info) != 0 || ::fstat(dirFd, &st) != 0) return Medium::Solid;
  switch (static_cast<unsigned long>(info.f_type)) {
    case FUSE_SUPER_MAGIC: return Medium::Fuse;
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
    case CODA_SUPER_MAGIC:
    case V9FS_MAGIC: return Medium::Network;
    default: break;
  }
  return blockMedium(st.st_dev);
}

}  // namespace qm::posix

// A folder that takes no new file while its files stay writable, for tests of saving.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace qm::testing {

// As root, whom no mode stops, the folder is made immutable (its entries are fixed,
// the files in it stay writable); otherwise its write permission is taken away.
class FolderLock {
 public:
  explicit FolderLock(std::string folder) : folder_(std::move(folder)) {
    if (::geteuid() == 0) {
      locked_ = setImmutable(true);
    } else {
      locked_ = ::chmod(folder_.c_str(), 0555) == 0;
    }
  }
  ~FolderLock() {
    if (!locked_) return;
    if (::geteuid() == 0)
      setImmutable(false);
    else
      ::chmod(folder_.c_str(), 0755);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  // False where the file system cannot lock a folder this way.
  bool locked() const { return locked_; }

 private:
  bool setImmutable(bool on) {
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
  }

  std::string folder_;
  bool locked_ = false;
};

}  // namespace qm::testing

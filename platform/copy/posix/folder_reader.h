// A folder's entries read straight from the kernel, through the folder's own descriptor.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

#include "copy_errors.h"

namespace qm::posix {

// Reads a folder's entries straight from the kernel through the folder's own descriptor:
// no duplicate of it, no status read and no buffer allocated for each listing, which a
// directory stream costs four system calls more. The descriptor's offset is shared with
// its duplicates, and the check before the copy may have listed the folder already, so the
// listing starts again at its first entry.
class FolderReader {
 public:
  // `path` names the folder in errors, and outlives the reader. `rewind`: false for a
  // descriptor just opened, or not listed before, which starts there anyway.
  FolderReader(int fd, const std::string& path, bool rewind = true) : fd_(fd), path_(path) {
    if (rewind && ::lseek(fd_, 0, SEEK_SET) < 0) throwCopyError(errno, path_);
  }
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  // The next entry but "." and "..", null at the end; valid until the next call.
  const dirent64* next() {
    for (;;) {
      if (at_ == size_) {
        const ssize_t got = ::getdents64(fd_, buffer_, sizeof buffer_);
        if (got < 0) throwCopyError(errno, path_);
        if (got == 0) return nullptr;
        size_ = static_cast<std::size_t>(got);
        at_ = 0;
      }
      const auto* item = reinterpret_cast<const dirent64*>(buffer_ + at_);
      at_ += item->d_reclen;
      const std::string_view name = item->d_name;
      if (name != "." && name != "..") return item;
    }
  }

 private:
  int fd_;
  const std::string& path_;
  std::size_t size_ = 0, at_ = 0;
  alignas(dirent64) char buffer_[32 << 10];
};

}  // namespace qm::posix

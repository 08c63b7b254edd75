// The shared state of one folder copy and the finishing of destination folders.
#include "copy_run.h"

#include <fcntl.h>
#include <unistd.h>

#include "error_numbers.h"

namespace qm::fs {

void CopyRun::fail(const RuntimeError& error) {
  std::lock_guard lock(mutex_);
  if (!error_) error_ = error;
  failed_.store(true, std::memory_order_relaxed);
}

void CopyRun::rethrowFailure() {
  std::lock_guard lock(mutex_);
  if (error_) throw *error_;
}

std::string CopyRun::temporaryName() {
  static const std::string prefix = ".qm-" + std::to_string(::getpid()) + "-";
  static std::atomic<unsigned long> counter{0};
  return prefix + std::to_string(++counter) + ".tmp";
}

DirNode::~DirNode() {
  if (!destination.valid() || run == nullptr) return;
  const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
  if (::fchmod(destination.get(), sourceStat.st_mode & 07777) != 0 ||
      ::futimens(destination.get(), times) != 0) {
    try {
      run->fail(RuntimeError(copyErrorNumber(errno), destinationPath));
    } catch (...) {
      // Out of memory while recording a failure: nothing better to do from a destructor.
    }
  }
}

namespace {

std::string joinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

std::string DirNode::sourceChild(std::string_view name) const {
  return joinPath(sourcePath, name);
}

std::string DirNode::destinationChild(std::string_view name) const {
  return joinPath(destinationPath, name);
}

void openDestinationFolder(DirNode& node, int atFd, const char* name, int openFlags) {
  if (::mkdirat(atFd, name, 0700) == 0) {
    node.fresh = true;
  } else if (errno != EEXIST) {
    throwCopyError(errno, node.destinationPath);
  }
  UniqueFd fd(::openat(atFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | openFlags));
  if (!fd.valid()) {
    if (errno == ENOTDIR || errno == ELOOP) throwNumber(err::kFileExists, node.destinationPath);
    throwCopyError(errno, node.destinationPath);
  }
  if (!node.fresh) {
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throwCopyError(errno, node.destinationPath);
    if ((st.st_mode & 0700) != 0700 && ::fchmod(fd.get(), (st.st_mode & 07777) | 0700) != 0) {
      throwCopyError(errno, node.destinationPath);
    }
  }
  node.destination = std::move(fd);
}

}  // namespace qm::fs

// The shared state of one folder copy and the folders it holds open.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "copy_options.h"
#include "errors.h"
#include "unique_fd.h"

namespace qm::fs {

class CopyRun {
 public:
  explicit CopyRun(const CopyOptions& options) : options_(options) {}

  const CopyOptions& options() const { return options_; }
  // Keeps the first error; later ones are usually its consequences and are dropped.
  void fail(const RuntimeError& error);
  bool failed() const { return failed_.load(std::memory_order_relaxed); }
  // Throws the kept error, if there is one.
  void rethrowFailure();
  // A short name for a temporary file that no other copy of this process uses. Short so
  // that it fits next to names of the longest allowed length.
  static std::string temporaryName();

  // Cleared once the destination file system has shown it cannot share blocks.
  std::atomic<bool> reflinkPossible{true};
  // Cleared once the kernel has shown it has no in-kernel copy.
  std::atomic<bool> copyRangePossible{true};

 private:
  const CopyOptions& options_;
  std::mutex mutex_;
  std::optional<RuntimeError> error_;
  std::atomic<bool> failed_{false};
};

// A source folder being copied and its destination folder, both open for *at() calls.
// The destination folder gets the source's permission bits and times when the last user
// lets go of the node, which is after everything inside it has been written.
struct DirNode {
  std::shared_ptr<DirNode> parent;  // keeps the parent unfinished while this one is
  UniqueFd source;
  UniqueFd destination;
  std::string sourcePath;
  std::string destinationPath;
  struct stat sourceStat {};
  bool fresh = false;  // created by this copy, so it holds no older files
  CopyRun* run = nullptr;

  DirNode() = default;
  DirNode(const DirNode&) = delete;
  DirNode& operator=(const DirNode&) = delete;
  ~DirNode();

  std::string sourceChild(std::string_view name) const;
  std::string destinationChild(std::string_view name) const;
};

// Creates (or opens, when it exists) the destination folder `name` under `atFd` for
// `node`. An existing folder gets owner write and search access while it is filled.
// `openFlags` adds O_NOFOLLOW below the top folder. Throws 58 when a non-folder is there.
void openDestinationFolder(DirNode& node, int atFd, const char* name, int openFlags);

}  // namespace qm::fs

// The shared state of one folder copy: its options, its first failure, its volumes.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "copy/options.h"
#include "folder_node.h"
#include "errors.h"
#include "volume.h"

namespace qm::fs {

class CopyRun {
 public:
  explicit CopyRun(const CopyOptions& options);

  const CopyOptions& options() const { return options_; }
  // Keeps the first error; later ones are usually its consequences and are dropped.
  void fail(const RuntimeError& error);
  bool failed() const { return failed_.load(std::memory_order_relaxed); }
  // Throws the kept error, if there is one.
  void rethrowFailure();

  // What the destination volume `device` keeps, probed in its open folder `dirFd` the
  // first time the copy meets the volume.
  const VolumeTraits& volume(dev_t device, int dirFd);
  OpenFolders& folders() { return folders_; }

  // Cleared once the destination file system has shown it cannot share blocks.
  std::atomic<bool> reflinkPossible{true};
  // Cleared once copy_file_range has shown it cannot copy here (no such call, or no
  // progress where reading finds data).
  std::atomic<bool> copyRangePossible{true};
  // The owner and group that new files get by default.
  const uid_t uid;
  const gid_t gid;

 private:
  const CopyOptions& options_;
  std::mutex mutex_;
  std::optional<RuntimeError> error_;
  std::atomic<bool> failed_{false};
  std::map<dev_t, std::unique_ptr<VolumeTraits>> volumes_;
  OpenFolders folders_;
};

}  // namespace qm::fs

// The shared state of one folder copy.
#include "copy_run.h"

#include <unistd.h>

namespace qm::fs {

namespace {

// Folders kept open between uses. Enough for the folders a walk and its workers touch at
// once in ordinary trees; deeper ones are closed and reopened when needed again.
constexpr size_t kOpenFolderBudget = 64;

}  // namespace

CopyRun::CopyRun(const CopyOptions& options)
    : uid(::geteuid()), gid(::getegid()), options_(options), folders_(kOpenFolderBudget) {}

void CopyRun::fail(const RuntimeError& error) {
  std::lock_guard lock(mutex_);
  if (!error_) error_ = error;
  failed_.store(true, std::memory_order_relaxed);
}

void CopyRun::rethrowFailure() {
  std::lock_guard lock(mutex_);
  if (error_) throw *error_;
}

const VolumeTraits& CopyRun::volume(dev_t device, int dirFd) {
  std::lock_guard lock(mutex_);
  auto& traits = volumes_[device];
  if (!traits)
    traits = std::make_unique<VolumeTraits>(probeVolume(dirFd, options_.links == Links::ByVolume));
  return *traits;
}

}  // namespace qm::fs

// The turn a large file waits for where the destination's medium takes one at a time.
#pragma once

#include <cstdint>
#include <mutex>

#include "copy/options.h"

namespace qm::copy {

// Shared by the workers of a run: while one holds a turn for a large file, another worker
// with a large file waits; small files, and every file on a medium that takes many
// streams, pass at once.
class LargeFileGate {
 public:
  // Set once the destination is known, before any worker asks.
  void open(LargeFiles policy, Medium medium) {
    policy_ = policy;
    medium_ = medium;
  }

  // Held while the file of `size` bytes is written or read back.
  [[nodiscard]] std::unique_lock<std::mutex> turn(std::uint64_t size) {
    if (!goesAlone(policy_, medium_, size)) return {};
    return std::unique_lock(mutex_);
  }

 private:
  LargeFiles policy_ = LargeFiles::SideBySide;
  Medium medium_ = Medium::Solid;
  std::mutex mutex_;
};

}  // namespace qm::copy

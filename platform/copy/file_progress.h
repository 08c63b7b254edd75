// Counts one regular file into a copy's progress: its bytes as they are copied, then itself.
#pragma once

#include <algorithm>
#include <cstdint>

#include "copy/progress.h"

namespace qm::copy {

class FileProgress {
 public:
  // `listedSize` is the size the walk counted for the file.
  FileProgress(CopyProgress* progress, std::uint64_t listedSize)
      : progress_(progress), listed_(listedSize) {}

  // Bytes copied; passed on in steps of kStep, so that small writes cost nothing.
  void advance(std::uint64_t bytes) {
    if (progress_ == nullptr) return;
    pending_ += bytes;
    if (pending_ >= kStep) pass(pending_);
  }

  // The file is done, copied or left as it was: it counts with its listed size in full, so
  // that done meets found at the end however the file changed meanwhile.
  void finish() {
    if (progress_ == nullptr) return;
    pass(listed_);
    progress_->filesDone.fetch_add(1, std::memory_order_relaxed);
  }

  // The file is done, and this run wrote its bytes.
  void finishWritten() {
    if (progress_ == nullptr) return;
    finish();
    progress_->filesWritten.fetch_add(1, std::memory_order_relaxed);
  }

 private:
  static constexpr std::uint64_t kStep = std::uint64_t{16} << 20;

  void pass(std::uint64_t bytes) {
    const std::uint64_t add = std::min(bytes, listed_ - reported_);
    if (add != 0) progress_->bytesDone.fetch_add(add, std::memory_order_relaxed);
    reported_ += add;
    pending_ = 0;
  }

  CopyProgress* progress_;
  std::uint64_t listed_;
  std::uint64_t reported_ = 0;
  std::uint64_t pending_ = 0;
};

}  // namespace qm::copy

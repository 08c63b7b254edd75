// The read-back after a copy: each file it wrote read again from the device, past the
// system's cache, and compared with its source, on the worker pool.
#pragma once

#include <atomic>
#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "copy/options.h"
#include "copy/primitives.h"
#include "copy/progress.h"
#include "copy/read_back_bytes.h"
#include "copy/report.h"
#include "copy/run_record.h"
#include "copy/worker_pool.h"
#include "copy/written_files.h"
#include "errors.h"
#include "os/paths.h"

namespace qm::copy {

// Reads back every file in `files` (see the system's readBack and spoil in
// copy/primitives.h). A file that comes back other than it was written is reported and
// made to look changed to the next run; once all are read the run fails with 57, naming
// the first. A failure of the device stops the read-back at once.
template <ReadBackPrimitives Sys>
class ReadBackRun {
 public:
  // `destination`: the top folder of the copy, for the path the failure names.
  // `record`: where each file that passes gets its line, with its hash; none where null.
  ReadBackRun(Sys& sys, const CopyOptions& options, WrittenFiles& files, std::string destination,
              RunRecord* record = nullptr)
      : sys_(sys),
        options_(options),
        files_(files),
        destination_(std::move(destination)),
        record_(record) {}

  void run() {
    CopyProgress* progress = options_.progress;
    if (progress) {
      progress->filesToCheck.store(files_.count(), std::memory_order_relaxed);
      progress->bytesToCheck.store(files_.bytes(), std::memory_order_relaxed);
      progress->readingBack.store(true, std::memory_order_relaxed);
    }
    files_.rewind();
    sys_.beforeReadBack();
    {
      const unsigned count = workerCount(options_);
      buffers_.resize(count + 1);
      WorkerPool<WrittenFile> pool(count, kQueueCapacity,
                                   [this](WrittenFile& file, unsigned worker) {
                                     if (!stopped()) check(file, worker);
                                   });
      for (WrittenFile file; !stopped() && files_.next(file);) pool.submit(std::move(file));
    }
    std::lock_guard lock(mutex_);
    if (failure_) throw *failure_;
  }

 private:
  static constexpr std::size_t kQueueCapacity = 64;

  void check(const WrittenFile& file, unsigned worker) {
    if (!buffers_[worker]) buffers_[worker] = std::make_unique<ReadBuffers>();
    std::uint64_t counted = 0;
    const BytesRead read = [&](std::size_t count) {
      counted += count;
      if (options_.progress)
        options_.progress->bytesChecked.fetch_add(count, std::memory_order_relaxed);
    };
    try {
      const ReadBackResult result = sys_.readBack(file, *buffers_[worker], read);
      if (result == ReadBackResult::Differs) differs(file);
      if (result == ReadBackResult::Same && record_)
        record_->add({recordRelative(file.relative), file.stamp, file.copy,
                      buffers_[worker]->hash().hex(), std::time(nullptr)});
    } catch (const SourceError&) {
      // The source can no longer be read: it is not what was copied any more.
    } catch (const RuntimeError& error) {
      fail(error, file.relative, false);
    }
    if (!options_.progress) return;
    // The file counts with its whole size, however much of it was compared.
    if (counted < file.stamp.size)
      options_.progress->bytesChecked.fetch_add(file.stamp.size - counted,
                                                std::memory_order_relaxed);
    options_.progress->filesChecked.fetch_add(1, std::memory_order_relaxed);
  }

  void differs(const WrittenFile& file) {
    try {
      sys_.spoil(file);
    } catch (const RuntimeError&) {
      // The device takes nothing more; the run fails all the same.
    }
    fail(RuntimeError(err::kDeviceIo, destination_ + kPathSeparator + file.relative), file.relative,
         true);
  }

  // `goOn`: a file that came back wrong; the others are still read back.
  void fail(const RuntimeError& error, const std::string& relative, bool goOn) {
    std::lock_guard lock(mutex_);
    if (options_.progress)
      options_.progress->report.addFailure(
          {relative, goOn ? readBackCause() : numberCause(error.number, false)}, !goOn);
    if (!failure_ || !goOn) failure_ = error;
    if (!goOn) stopped_ = true;
  }

  bool stopped() const { return stopped_.load(std::memory_order_relaxed); }

  Sys& sys_;
  const CopyOptions& options_;
  WrittenFiles& files_;
  const std::string destination_;
  RunRecord* const record_;
  std::vector<std::unique_ptr<ReadBuffers>> buffers_;
  std::mutex mutex_;
  std::optional<RuntimeError> failure_;
  std::atomic<bool> stopped_{false};  // a failure of the device: read no more
};

}  // namespace qm::copy

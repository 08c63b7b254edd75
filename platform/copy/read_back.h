// The read-back after a copy: each file it wrote read again from the device, past the
// system's cache, and compared with its source, on the worker pool.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "copy/large_files.h"
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

// How reading back copies that earlier runs left differs from reading back this run's:
// it ends at `deadline`, the files it did not reach left as they were, and a copy that no
// longer matches its source goes to `damaged`, to be written again, instead of failing
// the run.
struct OldCopiesPass {
  std::chrono::steady_clock::time_point deadline;
  WrittenFiles* damaged = nullptr;
};

// Reads back every file in `files` (see the system's readBack and spoil in
// copy/primitives.h). A file that comes back other than it was written is reported and
// made to look changed to the next run; once all are read the run fails with 57, naming
// the first. A failure of the device stops the read-back at once.
template <ReadBackPrimitives Sys>
class ReadBackRun {
 public:
  // `destination`: the top folder of the copy, for the path the failure names.
  // `large`: the turns large files wait for, shared with the copy's writing.
  // `record`: where each file that passes gets its line, with its hash; none where null.
  // `old`: where the files are copies that earlier runs left.
  ReadBackRun(Sys& sys, const CopyOptions& options, WrittenFiles& files, std::string destination,
              LargeFileGate& large, RunRecord* record = nullptr, const OldCopiesPass* old = nullptr)
      : sys_(sys),
        options_(options),
        files_(files),
        destination_(std::move(destination)),
        large_(large),
        record_(record),
        old_(old) {}

  void run() {
    CopyProgress* progress = options_.progress;
    // A pass after another adds to what the user sees checked.
    if (progress) {
      progress->filesToCheck.fetch_add(files_.count(), std::memory_order_relaxed);
      progress->bytesToCheck.fetch_add(files_.bytes(), std::memory_order_relaxed);
      progress->readingBack.store(true, std::memory_order_relaxed);
    }
    files_.rewind();
    sys_.beforeReadBack();
    {
      const unsigned count = workerCount(options_);
      buffers_.resize(count + 1);
      WorkerPool<WrittenFile> pool(count, kQueueCapacity,
                                   [this](WrittenFile& file, unsigned worker) {
                                     if (!stopped() && !outOfTime()) check(file, worker);
                                   });
      for (WrittenFile file; !stopped() && !outOfTime() && files_.next(file);)
        pool.submit(std::move(file));
    }
    // What the pass had no time for is not to be checked any more.
    if (progress && old_) {
      progress->filesToCheck.fetch_sub(files_.count() - passed_.files, std::memory_order_relaxed);
      progress->bytesToCheck.fetch_sub(files_.bytes() - passed_.bytes, std::memory_order_relaxed);
    }
    std::lock_guard lock(mutex_);
    if (failure_) throw *failure_;
  }

 private:
  static constexpr std::size_t kQueueCapacity = 64;

  // Thrown from within a file's read-back once an old copies' pass has run out of time.
  struct OutOfTime {};

  bool outOfTime() const { return old_ && std::chrono::steady_clock::now() >= old_->deadline; }

  void check(const WrittenFile& file, unsigned worker) {
    if (!buffers_[worker]) buffers_[worker] = std::make_unique<ReadBuffers>();
    std::uint64_t counted = 0;
    const BytesRead read = [&](std::size_t count) {
      counted += count;
      if (options_.progress)
        options_.progress->bytesChecked.fetch_add(count, std::memory_order_relaxed);
      if (outOfTime()) throw OutOfTime{};
    };
    try {
      const auto turn = large_.turn(file.stamp.size);
      const ReadBackResult result = sys_.readBack(file, *buffers_[worker], read);
      if (result == ReadBackResult::Differs) differs(file);
      if (result == ReadBackResult::Same && record_) {
        record_->add({recordRelative(file.relative), file.stamp, file.copy,
                      buffers_[worker]->hash().hex(), std::time(nullptr)});
        if (old_) record_->replaced(recordRelative(file.relative));
      }
    } catch (const OutOfTime&) {
      // Not reached in time: the file is as the last read-back left it, and goes first
      // next time; its bytes read so far no longer count.
      if (options_.progress)
        options_.progress->bytesChecked.fetch_sub(counted, std::memory_order_relaxed);
      return;
    } catch (const SourceError&) {
      // The source can no longer be read: it is not what was copied any more.
    } catch (const RuntimeError& error) {
      fail(error, file.relative, false);
    }
    if (old_) {
      std::lock_guard lock(mutex_);
      ++passed_.files;
      passed_.bytes += file.stamp.size;
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
    if (old_) {
      if (record_) record_->replaced(recordRelative(file.relative));
      old_->damaged->add(file.relative, file.stamp, file.copy);
      return;
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
  LargeFileGate& large_;
  RunRecord* const record_;
  const OldCopiesPass* const old_;
  struct {
    std::uint64_t files = 0, bytes = 0;
  } passed_;  // the files an old copies' pass checked, whatever it found
  std::vector<std::unique_ptr<ReadBuffers>> buffers_;
  std::mutex mutex_;
  std::optional<RuntimeError> failure_;
  std::atomic<bool> stopped_{false};  // a failure of the device: read no more
};

}  // namespace qm::copy

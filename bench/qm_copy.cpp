// Command-line front end to the folder copy, used by the benchmarks.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "copy/progress.h"
#include "errors.h"
#include "copy/copy_folder.h"

namespace {

// Options come from the environment so the benchmark can tune the engine without
// changing this program: QM_WORKERS, QM_REFLINK (0 turns reflinks off), QM_CHECK (0 turns
// the check before writing off), QM_READBACK (1 reads back whatever the medium, 0 never),
// QM_RECORD (0 keeps no record of the copy beside it), QM_OLD_COPIES (0 reads back no copy
// an earlier run left, "all" every one; by default they are read back in turn),
// QM_LARGE_FILES ("side" writes and reads large files side by side whatever the medium,
// "one" one at a time; by default as the medium serves them best), QM_DATA (how bytes
// move: "ring", "clone", "kernel" or "buffered"; by default the fastest the system offers,
// or "kernel" where QM_REFLINK is 0).
qm::CopyOptions optionsFromEnvironment() {
  qm::CopyOptions options;
  if (const char* workers = std::getenv("QM_WORKERS")) {
    options.workers = static_cast<unsigned>(std::strtoul(workers, nullptr, 10));
  }
  if (const char* reflink = std::getenv("QM_REFLINK"); reflink && reflink[0] == '0')
    options.data = qm::DataMethod::Kernel;
  if (const char* data = std::getenv("QM_DATA")) {
    const std::string_view method = data;
    options.data = method == "ring"       ? qm::DataMethod::Ring
                   : method == "clone"    ? qm::DataMethod::Clone
                   : method == "kernel"   ? qm::DataMethod::Kernel
                   : method == "buffered" ? qm::DataMethod::Buffered
                                          : qm::DataMethod::Auto;
  }
  if (const char* check = std::getenv("QM_CHECK")) options.checkFirst = check[0] != '0';
  if (const char* back = std::getenv("QM_READBACK"))
    options.readBack = back[0] == '0' ? qm::ReadBack::Never : qm::ReadBack::Always;
  if (const char* record = std::getenv("QM_RECORD")) options.keepRecord = record[0] != '0';
  if (const char* old = std::getenv("QM_OLD_COPIES"))
    options.oldCopies = old[0] == '0'                    ? qm::OldCopies::None
                        : std::string_view(old) == "all" ? qm::OldCopies::All
                                                         : qm::OldCopies::InTurn;
  if (const char* large = std::getenv("QM_LARGE_FILES"))
    options.largeFiles = std::string_view(large) == "side"  ? qm::LargeFiles::SideBySide
                         : std::string_view(large) == "one" ? qm::LargeFiles::OneAtATime
                                                            : qm::LargeFiles::ByMedium;
  return options;
}

bool progressWanted() {
  const char* progress = std::getenv("QM_PROGRESS");
  return progress != nullptr && progress[0] == '1';
}

// Reads the counters ten times a second while the copy runs, as a window painting them
// would; storing the sum in a volatile keeps the reads from being optimised away. The end
// of the copy wakes it at once: a reader that slept on would add its sleep to the time.
class ProgressReader {
 public:
  explicit ProgressReader(const qm::CopyProgress& progress)
      : thread_([this, &progress] {
          std::unique_lock lock(mutex_);
          do {
            seen_ = progress.filesDone.load(std::memory_order_relaxed) +
                    progress.bytesDone.load(std::memory_order_relaxed) +
                    progress.filesFound.load(std::memory_order_relaxed) +
                    progress.bytesFound.load(std::memory_order_relaxed);
          } while (
              !woken_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; }));
        }) {}
  ~ProgressReader() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    woken_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool stop_ = false;
  volatile unsigned long long seen_ = 0;
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOURCE DESTINATION\n", argv[0]);
    return 2;
  }
  qm::CopyOptions options = optionsFromEnvironment();
  qm::CopyProgress progress;
  try {
    if (progressWanted()) {
      options.progress = &progress;
      ProgressReader reader(progress);
      qm::copy::copyFolderOrThrow(argv[1], argv[2], options);
    } else {
      qm::copy::copyFolderOrThrow(argv[1], argv[2], options);
    }
  } catch (const qm::RuntimeError& error) {
    std::fprintf(stderr, "error %d: %s\n", error.number, error.path.c_str());
    return 1;
  }
  return 0;
}

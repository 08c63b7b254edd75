// The dispatcher: the top of every event handler entered from a toolkit.
#include "backend.h"

#include <atomic>
#include <chrono>
#include <exception>

#include "busy_copy.h"
#include "ui/filesystem.h"
#include "errors.h"
#include "os/process.h"
#include "progress_view.h"
#include "work_thread.h"

namespace qm {

void Backend::dispatch(const std::function<void()>& handler) {
  if (ended_ || busyRunning_) return;
  try {
    handler();
    return;
  } catch (const ProgramEnd&) {
  } catch (const RuntimeError& e) {
    try {
      messageBox(unhandledErrorReport(e), mb::kOk | mb::kIconError, appTitle_);
    } catch (const ProgramEnd&) {
    }
  }
  ended_ = true;
  quit();
}

void Backend::startProgram(std::string_view fileName, int windowStyle) {
  startProgramByName(fileName, windowStyle);
}

std::unique_ptr<FileSystemObject> Backend::createObject(std::string_view progId) {
  if (progId != kFileSystemObjectId) throw RuntimeError(err::kCannotCreateObject, progId);
  std::unique_ptr<FileSystemObject> made = makeFileSystemObject();
  if (!made) throw RuntimeError(err::kCannotCreateObject, progId);
  return made;
}

std::unique_ptr<FileSystemObject> Backend::makeFileSystemObject() {
  return std::make_unique<BusyCopyObject>(*this);
}

void Backend::runWhileBusy(const std::function<void()>& work, const CopyProgress& progress) {
  struct Flag {
    bool& on;
    explicit Flag(bool& f) : on(f) { on = true; }
    ~Flag() { on = false; }
  } flag(busyRunning_);
  runBusy(work, progress);
}

// The progress comes after a short delay, so that a quick copy shows nothing, and is
// then read again at each interval; the first wait ends when the delay is up.
void Backend::runBusy(const std::function<void()>& work, const CopyProgress& progress) {
  const std::unique_ptr<BusyLoop> loop = busyLoop();
  if (!loop) return work();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point showAt = Clock::now() + std::chrono::milliseconds(kProgressDelayMs);
  std::atomic<bool> done{false};
  WorkThread worker(work, [&] {
    done = true;
    loop->wake();
  });
  while (!done) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(showAt - Clock::now()).count();
    if (left <= 0) loop->showProgress(progress);
    loop->wait(left > 0 && left < kProgressIntervalMs ? static_cast<int>(left)
                                                      : kProgressIntervalMs);
  }
  const std::exception_ptr failure = worker.join();
  loop->end();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace qm

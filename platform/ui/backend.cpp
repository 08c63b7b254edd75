// The dispatcher: the top of every event handler entered from a toolkit.
#include "backend.h"

#include "errors.h"

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

void Backend::runWhileBusy(const std::function<void()>& work, const CopyProgress& progress) {
  struct Flag {
    bool& on;
    explicit Flag(bool& f) : on(f) { on = true; }
    ~Flag() { on = false; }
  } flag(busyRunning_);
  runBusy(work, progress);
}

void Backend::runBusy(const std::function<void()>& work, const CopyProgress&) {
  work();
}

}  // namespace qm

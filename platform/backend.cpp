// The dispatcher: the top of every event handler entered from a toolkit.
#include "backend.h"

#include "errors.h"

namespace qm {

void Backend::dispatch(const std::function<void()>& handler) {
  if (ended_) return;
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

}  // namespace qm

// Keeps the computer from going to sleep while a copy runs, through the thread's
// execution state.
#pragma once

#include <windows.h>

namespace qm::win32 {

// While alive, the system does not go to sleep on its own (ES_SYSTEM_REQUIRED, held with
// ES_CONTINUOUS); destroyed on the thread that made it, it lets the system sleep again.
// `set` is the system call, or a stand-in that records the calls.
class KeepAwake {
 public:
  using SetState = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);
  explicit KeepAwake(SetState set = &SetThreadExecutionState);
  ~KeepAwake();
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;

 private:
  SetState set_;
};

}  // namespace qm::win32

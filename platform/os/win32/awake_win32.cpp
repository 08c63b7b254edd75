// The thread's execution state held while a copy runs.
#include "os/awake.h"
#include "os/win32/awake.h"

namespace qm::win32 {

KeepAwake::KeepAwake(SetState set) : set_(set) {
  set_(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

KeepAwake::~KeepAwake() {
  set_(ES_CONTINUOUS);
}

}  // namespace qm::win32

namespace qm {

// The state belongs to the thread, which shows no name or reason.
struct KeepAwake::Lock {
  win32::KeepAwake state;
};

KeepAwake::KeepAwake(std::string_view, std::string_view) : lock_(std::make_unique<Lock>()) {}

KeepAwake::~KeepAwake() = default;

}  // namespace qm

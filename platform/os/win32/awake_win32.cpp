// The thread's execution state held while a copy runs.
#include "os/win32/awake.h"

namespace qm::win32 {

KeepAwake::KeepAwake(SetState set) : set_(set) {
  set_(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

KeepAwake::~KeepAwake() {
  set_(ES_CONTINUOUS);
}

}  // namespace qm::win32

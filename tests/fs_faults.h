// Fails or counts chosen system calls of the copy engine in tests linked with --wrap.
#pragma once

#include <cstdint>
#include <functional>

namespace qm::posix::testing {

// The calls the fault binary wraps (see fs_faults.cmake).
enum class Call {
  kFchmod,
  kFchmodat,
  kFutimens,
  kUtimensat,
  kFchown,
  kFchownat,
  kFsetxattr,
  kFremovexattr,
  kCopyFileRange,
  kPwrite,
  kRenameat2,
  kOpenat,
  kOpen,
  kRingSubmit,  // io_uring_submit_and_wait, where the engine is built with liburing
  kCount
};

// While alive, every call of `call` fails with errno `error`, or returns `result` without
// doing anything when `error` is 0.
class Fault {
 public:
  Fault(Call call, int error, long result = -1);
  ~Fault();
  Fault(const Fault&) = delete;
  Fault& operator=(const Fault&) = delete;

 private:
  Call call_;
};

// While alive, every openat of an entry named `name` (the last component of the path)
// fails with errno `error`; other opens pass.
class OpenFault {
 public:
  OpenFault(const char* name, int error);
  ~OpenFault();
  OpenFault(const OpenFault&) = delete;
  OpenFault& operator=(const OpenFault&) = delete;
};

// While alive, `before` runs ahead of every call of `call` (data copies: kCopyFileRange,
// kPwrite, kRingSubmit), on the thread that makes it.
class BeforeCall {
 public:
  BeforeCall(Call call, std::function<void()> before);
  ~BeforeCall();
  BeforeCall(const BeforeCall&) = delete;
  BeforeCall& operator=(const BeforeCall&) = delete;

 private:
  Call call_;
};

// From now on, io_uring_setup fails with `error` in this process and the ones it starts, as
// where a sandbox's filter refuses it; false where the filter cannot be set. For a child
// process only: it cannot be undone.
bool refuseRingSetup(int error);

// How often `call` was made (including failed ones) since the last resetCalls().
std::uint64_t calls(Call call);
void resetCalls();

}  // namespace qm::posix::testing

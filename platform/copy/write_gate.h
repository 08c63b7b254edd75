// Holds back every write of a copy until the check of its whole plan has passed.
#pragma once

#include <condition_variable>
#include <mutex>

namespace qm::copy {

// Open unless a check is pending. The copy's threads read, list and compare while the
// check runs beside them; the first that would write waits here, so that nothing is
// written before the check has passed, and an unchanged copy that writes nothing does not
// wait at all.
class WriteGate {
 public:
  void hold() {
    std::lock_guard lock(mutex_);
    state_ = State::Held;
  }
  // The check's verdict: open for writing, or refused.
  void decide(bool passed) {
    {
      std::lock_guard lock(mutex_);
      state_ = passed ? State::Open : State::Refused;
    }
    changed_.notify_all();
  }
  // Waits for the verdict; true where writing may go on.
  bool pass() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return state_ != State::Held; });
    return state_ == State::Open;
  }
  bool refused() {
    std::lock_guard lock(mutex_);
    return state_ == State::Refused;
  }

 private:
  enum class State { Open, Held, Refused };
  std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::Open;
};

}  // namespace qm::copy

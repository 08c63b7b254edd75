// Keeps the computer from going to sleep while a copy runs.
#pragma once

#include <memory>
#include <string_view>

namespace qm {

// While alive, the system does not go to sleep on its own; destroyed, however the copy
// ended, it lets it sleep again. Made and destroyed on the thread that runs the copy (it
// may wait a moment for the system's answer). `who` and `why` are what the system shows
// of the lock where it shows it. Where the system refuses or cannot be asked, nothing is
// held and nothing is said: the copy runs all the same.
class KeepAwake {
 public:
  KeepAwake(std::string_view who, std::string_view why);
  ~KeepAwake();
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;

  bool held() const { return lock_ != nullptr; }

 private:
  struct Lock;  // what the system gave, by system
  std::unique_ptr<Lock> lock_;
};

}  // namespace qm

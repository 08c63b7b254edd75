// Work on a thread of its own, for the backends that keep their windows alive meanwhile.
#pragma once

#include <exception>
#include <functional>
#include <thread>

namespace qm {

// Runs `work` on a thread of its own and then `ended` on that thread, whether the work
// returned or threw; what it threw is kept for join(). The destructor joins a thread not
// joined yet, so the work never outlives the variables it refers to.
class WorkThread {
 public:
  WorkThread(const std::function<void()>& work, const std::function<void()>& ended);
  ~WorkThread();
  WorkThread(const WorkThread&) = delete;
  WorkThread& operator=(const WorkThread&) = delete;

  // Waits for the thread; returns what the work threw, or null.
  std::exception_ptr join();

 private:
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace qm

// Work on a thread of its own, its exception kept for the thread that waits for it.
#include "work_thread.h"

namespace qm {

WorkThread::WorkThread(const std::function<void()>& work, const std::function<void()>& ended)
    : thread_([this, work, ended] {
        try {
          work();
        } catch (...) {
          failure_ = std::current_exception();
        }
        ended();
      }) {}

WorkThread::~WorkThread() {
  if (thread_.joinable()) thread_.join();
}

std::exception_ptr WorkThread::join() {
  if (thread_.joinable()) thread_.join();
  return failure_;
}

}  // namespace qm

// The threads that copy files while the folders are walked, alike on every system.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "copy/options.h"

namespace qm::copy {

// The number of copying threads `options` ask for, with 0 resolved from the processors:
// twice their number, since copies wait on the devices, between 2 and 8.
inline unsigned workerCount(const CopyOptions& options) {
  if (options.workers != 0) return options.workers;
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp(processors * 2, 2u, 8u);
}

// Hands tasks from one producer to `count` threads through a queue of `capacity` tasks, so
// that memory depends on the queue and not on the tree. With a count below 2, or where
// the system starts no thread, each task runs at once on the producer's thread. `run` is
// given the task and the number of the worker that runs it (0 on the producer's thread).
template <typename Task>
class WorkerPool {
 public:
  using Run = std::function<void(Task&, unsigned worker)>;

  WorkerPool(unsigned count, std::size_t capacity, Run run)
      : capacity_(capacity), run_(std::move(run)) {
    for (unsigned i = 0; count > 1 && i < count; ++i) {
      try {
        threads_.emplace_back([this, i] { work(i); });
      } catch (const std::system_error&) {
        break;  // fewer threads than asked: the copy runs on those there are
      }
    }
  }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool() { finish(); }

  // The number of threads running tasks; 0 when tasks run on the producer's thread.
  unsigned threads() const { return static_cast<unsigned>(threads_.size()); }

  // Queues `task`, waiting while the queue is full.
  void submit(Task task) {
    if (threads_.empty()) {
      run_(task, 0);
      return;
    }
    std::unique_lock lock(mutex_);
    notFull_.wait(lock, [&] { return tasks_.size() < capacity_; });
    tasks_.push_back(std::move(task));
    lock.unlock();
    notEmpty_.notify_one();
  }

  // Runs what is queued, then ends the threads. Idempotent.
  void finish() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    notEmpty_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

 private:
  void work(unsigned worker) {
    for (;;) {
      std::unique_lock lock(mutex_);
      notEmpty_.wait(lock, [&] { return !tasks_.empty() || closed_; });
      if (tasks_.empty()) return;
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      notFull_.notify_one();
      run_(task, worker + 1);
      task = Task{};  // let go of what the task holds before waiting for more
    }
  }

  const std::size_t capacity_;
  Run run_;
  std::mutex mutex_;
  std::condition_variable notFull_;
  std::condition_variable notEmpty_;
  std::deque<Task> tasks_;
  bool closed_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qm::copy

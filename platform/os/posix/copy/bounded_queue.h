// A bounded, closable queue that hands work from one producer to several consumers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace qm::fs {

template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

  // Waits while the queue is full.
  void push(T item) {
    std::unique_lock lock(mutex_);
    notFull_.wait(lock, [&] { return items_.size() < capacity_; });
    items_.push_back(std::move(item));
    lock.unlock();
    notEmpty_.notify_one();
  }

  // Waits for an item; false once the queue is closed and empty.
  bool pop(T& item) {
    std::unique_lock lock(mutex_);
    notEmpty_.wait(lock, [&] { return !items_.empty() || closed_; });
    if (items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
    lock.unlock();
    notFull_.notify_one();
    return true;
  }

  // No more items will come; consumers finish what is queued and then stop.
  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    notEmpty_.notify_all();
  }

 private:
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable notFull_;
  std::condition_variable notEmpty_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace qm::fs

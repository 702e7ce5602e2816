// Updates handed from worker threads to the window thread: one queue, and at most one
// wake-up outstanding however many updates wait. Windows drops posted messages past
// 10,000 per queue, so one posted message per update would lose updates under load.
// Toolkit-free: the caller posts the wake-up when push() asks for one.
#pragma once

#include <deque>
#include <mutex>
#include <utility>

namespace station::win32 {

template <class T>
class CoalescingQueue {
 public:
  // Queues the item; true when the caller must post the wake-up (none is outstanding).
  bool push(T item) {
    std::lock_guard<std::mutex> lock(mu_);
    items_.push_back(std::move(item));
    if (wakePending_) return false;
    wakePending_ = true;
    return true;
  }

  // The posting failed: the next push asks again, so the items are not stranded.
  void wakeLost() {
    std::lock_guard<std::mutex> lock(mu_);
    wakePending_ = false;
  }

  // On the wake-up: everything queued so far, oldest first. Items pushed from here on
  // ask for a wake-up of their own.
  std::deque<T> takeAll() {
    std::lock_guard<std::mutex> lock(mu_);
    wakePending_ = false;
    return std::exchange(items_, {});
  }

 private:
  std::mutex mu_;
  std::deque<T> items_;
  bool wakePending_ = false;
};

}  // namespace station::win32

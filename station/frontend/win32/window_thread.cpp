#include "station/frontend/win32/window_thread.h"

#include <condition_variable>
#include <mutex>

namespace station::win32 {

WindowThreadQueue::WindowThreadQueue(HWND window, UINT message)
    : window_(window), message_(message), thread_(GetWindowThreadProcessId(window, nullptr)) {}

void WindowThreadQueue::post(std::function<void()> update) {
  if (queue_.push(std::move(update)) && !PostMessageW(window_, message_, 0, 0)) queue_.wakeLost();
}

void WindowThreadQueue::call(const std::function<void()>& fn) {
  if (onWindowThread()) {
    fn();
    return;
  }
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  post([&] {
    fn();
    std::lock_guard<std::mutex> lock(mu);
    done = true;
    cv.notify_one();
  });
  std::unique_lock<std::mutex> lock(mu);
  cv.wait(lock, [&] { return done; });
}

void WindowThreadQueue::deliver() {
  for (auto& update : queue_.takeAll()) update();
}

bool WindowThreadQueue::onWindowThread() const { return GetCurrentThreadId() == thread_; }

}  // namespace station::win32

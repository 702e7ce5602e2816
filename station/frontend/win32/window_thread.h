// Running work on a window's thread from any thread: updates queue up behind one posted
// wake-up message (see update_queue.h); a call waits until the window thread has run it.
#pragma once

#include <windows.h>

#include <functional>

#include "station/frontend/win32/update_queue.h"

namespace station::win32 {

class WindowThreadQueue {
 public:
  // `window` belongs to the window thread; `message` is the wake-up it must pass to
  // deliver() (e.g. WM_APP + n).
  WindowThreadQueue(HWND window, UINT message);

  // Any thread; returns at once. Updates from one thread run in the order posted.
  void post(std::function<void()> update);
  // Any thread; returns when `fn` has run on the window thread (at once when called there).
  // Updates posted earlier by the same thread run before it.
  void call(const std::function<void()>& fn);

  // The window procedure's answer to the wake-up message: runs everything queued so far.
  void deliver();

  bool onWindowThread() const;

 private:
  HWND window_;
  UINT message_;
  DWORD thread_;
  CoalescingQueue<std::function<void()>> queue_;
};

}  // namespace station::win32

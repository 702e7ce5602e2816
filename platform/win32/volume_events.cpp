// Volume notifications on Windows: a hidden top-level window on a thread of its own
// receives the WM_DEVICECHANGE broadcasts and, since a broadcast can be missed, looks at
// GetLogicalDrives on a timer; the tracker merges both, and each arrival or removal is
// queued until the station polls.
#include "platform/volume_events.h"

#include "platform/drive_tracker.h"

#include <windows.h>
#include <dbt.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {
namespace {

class Win32VolumeEvents : public VolumeEvents {
 public:
  Win32VolumeEvents(std::function<uint32_t()> present, unsigned pollMs)
      : present_(std::move(present)), pollMs_(pollMs), tracker_(present_ ? present_() : 0) {
    std::unique_lock<std::mutex> lock(mu_);
    thread_ = std::thread([this] { run(); });
    ready_.wait(lock, [this] { return started_; });
  }

  ~Win32VolumeEvents() override {
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
  }

  std::vector<VolumeNotice> poll() override {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<VolumeNotice> out;
    out.swap(queue_);
    return out;
  }

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Win32VolumeEvents*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_DEVICECHANGE && self && lp) {
      auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lp);
      uint32_t mask = 0;
      if (header->dbch_devicetype == DBT_DEVTYP_VOLUME)
        mask = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lp)->dbcv_unitmask;
      if (auto notice = decodeDeviceChange(static_cast<uint32_t>(wp), header->dbch_devicetype, mask))
        self->queue(self->tracker_.notified(*notice));
      return TRUE;
    }
    if (msg == WM_TIMER && self && self->present_) {
      self->queue(self->tracker_.looked(self->present_()));
      return 0;
    }
    if (msg == WM_CLOSE) {
      KillTimer(hwnd, 1);
      DestroyWindow(hwnd);
      return 0;
    }
    if (msg == WM_DESTROY) {
      PostQuitMessage(0);
      return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

  void run() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kVolumeEventsWindowClass;
    RegisterClassA(&wc);  // fails harmlessly when a second source registers it again
    HWND w = CreateWindowExA(0, kVolumeEventsWindowClass, "", WS_OVERLAPPED, 0, 0, 0, 0,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (w) SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (w && present_ && pollMs_) SetTimer(w, 1, pollMs_, nullptr);
    {
      std::lock_guard<std::mutex> lock(mu_);
      window_ = w;
      started_ = true;
    }
    ready_.notify_all();
    if (!w) return;
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }

  // The tracker lives on the window's thread; only the queue is shared.
  void queue(const std::vector<VolumeNotice>& notices) {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.insert(queue_.end(), notices.begin(), notices.end());
  }

  std::function<uint32_t()> present_;
  unsigned pollMs_;
  DriveTracker tracker_;
  std::mutex mu_;
  std::condition_variable ready_;
  bool started_ = false;
  HWND window_ = nullptr;
  std::thread thread_;
  std::vector<VolumeNotice> queue_;
};

}  // namespace

std::unique_ptr<VolumeEvents> makeWin32VolumeEvents(std::function<uint32_t()> presentDrives,
                                                    unsigned pollMs) {
  return std::make_unique<Win32VolumeEvents>(std::move(presentDrives), pollMs);
}

std::unique_ptr<VolumeEvents> makeVolumeEvents() {
  return makeWin32VolumeEvents([] { return static_cast<uint32_t>(GetLogicalDrives()); },
                               kDrivePollMs);
}

}  // namespace platform

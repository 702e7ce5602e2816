// One station per machine on Windows: the named mutex "MP3 Tool", created not owned and
// kept until the window closes. The running window is found with FindWindowA through a
// hidden marker window of our own class that keeps the main window's handle, since the
// main window's caption changes after start-up and its class belongs to the toolkit.
#include "platform/single_instance.h"

#include <windows.h>

#include <cstdlib>

namespace platform {
namespace {

constexpr char kMarkerClass[] = "TarnStationInstance";

ATOM markerClass() {
  static ATOM atom = [] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kMarkerClass;
    return RegisterClassA(&wc);
  }();
  return atom;
}

class Win32InstanceLock : public InstanceLock {
 public:
  Win32InstanceLock(HANDLE mutex, std::string name) : mutex_(mutex), name_(std::move(name)) {}
  ~Win32InstanceLock() override { release(); }

  void release() override {
    if (marker_) DestroyWindow(marker_);
    marker_ = nullptr;
    if (mutex_) {
      ReleaseMutex(mutex_);  // created not owned: only the handle really matters
      CloseHandle(mutex_);
    }
    mutex_ = nullptr;
  }
  bool held() const override { return mutex_ != nullptr; }

  void setWindow(void* nativeWindow) override {
    if (!marker_ && markerClass())
      marker_ = CreateWindowExA(0, kMarkerClass, name_.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    if (marker_) SetWindowLongPtrA(marker_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(nativeWindow));
  }

  // The later start brings the window forward itself: it is the foreground program.
  void onRaiseRequest(std::function<void()>) override {}

 private:
  HANDLE mutex_;
  std::string name_;
  HWND marker_ = nullptr;
};

// The running instance makes its mutex before its window: a start in between waits a
// moment for the window to be published.
constexpr DWORD kWindowWaitMs = 3000;
constexpr DWORD kWindowRetryMs = 50;

HWND publishedWindow(const std::string& name) {
  HWND marker = FindWindowA(kMarkerClass, name.c_str());
  if (!marker) return nullptr;
  HWND window = reinterpret_cast<HWND>(GetWindowLongPtrA(marker, GWLP_USERDATA));
  return window && IsWindow(window) ? window : nullptr;
}

bool raiseRunning(const std::string& name) {
  HWND window = publishedWindow(name);
  for (DWORD waited = 0; !window && waited < kWindowWaitMs; waited += kWindowRetryMs) {
    Sleep(kWindowRetryMs);
    window = publishedWindow(name);
  }
  if (!window) return false;
  if (IsIconic(window)) {
    ShowWindow(window, SW_RESTORE);
  } else {
    BringWindowToTop(window);
    SetForegroundWindow(window);
  }
  return true;
}

}  // namespace

InstanceCheck checkSingleInstance(const std::string& name, const std::string&) {
  InstanceCheck result;
  if (HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str())) {
    CloseHandle(existing);
    result.reachedRunning = raiseRunning(name);
    return result;
  }
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  result.lock = std::make_unique<Win32InstanceLock>(mutex, name);
  return result;
}

std::string defaultInstanceFolder() {
  const char* v = std::getenv("TARN_INSTANCE_DIR");
  return v ? v : "";
}

}  // namespace platform

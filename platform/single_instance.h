// One station per machine under the name "MP3 Tool": the first start holds a system-wide
// lock until it closes; a later start asks the running one to bring its window to the
// front and ends without touching any file. Windows: the named mutex, and the running
// window found with FindWindowA through a hidden marker window that carries its handle.
// POSIX: an flock on <folder>/<name>.lock and a local socket <folder>/<name>.sock on which
// the first instance hears the request to come forward.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

inline constexpr char kInstanceName[] = "MP3 Tool";

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;  // releases the lock when still held
  virtual void release() = 0;
  virtual bool held() const = 0;
  // The window a later start brings forward. Windows: its HWND (restored when minimised,
  // else raised and given the focus by the later start itself). Ignored elsewhere.
  virtual void setWindow(void* nativeWindow) = 0;
  // Called (on a thread of the lock's own) when a later start asks the window to come
  // forward; a request that came before the call is delivered at once.
  virtual void onRaiseRequest(std::function<void()> raise) = 0;
};

struct InstanceCheck {
  std::unique_ptr<InstanceLock> lock;  // the first instance's lock; null for a later start
  bool reachedRunning = false;         // a later start: the running window was told
};

// `folder` holds the POSIX lock and socket (ignored on Windows).
InstanceCheck checkSingleInstance(const std::string& name, const std::string& folder);

#ifndef _WIN32
// One station per real disk on the whole machine, whoever runs it and in whatever session:
// an flock on <folder>/tarn-device-<name>.lock held while the station has the disk. Null
// when another station holds it. A folder where no lock can be made leaves the disk
// unguarded, as the instance lock does.
class DeviceClaim {
 public:
  virtual ~DeviceClaim() = default;  // gives the disk up
};
std::unique_ptr<DeviceClaim> claimDevice(const std::string& name, const std::string& folder);
// $TARN_DEVICE_LOCK_DIR, else /run/lock, else /tmp: the same for every user.
std::string machineLockFolder();
#endif

// $TARN_INSTANCE_DIR, else $XDG_RUNTIME_DIR, else /tmp. A simulated station passes its
// simulation root instead, so each simulated machine has a station of its own.
std::string defaultInstanceFolder();

}  // namespace platform

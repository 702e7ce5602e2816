// The station's shell, the same for every front end (headless, Qt, Win32): it binds the
// model to the front end, looks at the volume notifications and hands arrivals on, watches
// the run and time limits and the stop request of a signal, closes as the window would and
// says how the station ended as an exit code. The front end only makes controls, draws,
// runs its loop and forwards input (FrontEndHost).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/volume_events.h"
#include "station/model/device_arrival.h"
#include "station/model/startup.h"
#include "station/model/station_model.h"
#include "station/window/binder.h"
#include "station/window/front_end_host.h"

namespace station {

enum StationExit {
  kExitAllSucceeded = 0,
  kExitRunFailed = 1,     // a tallied run failed (or the screenshot was not written)
  kExitUsage = 2,         // bad command line
  kExitTimedOut = 3,      // the time limit came first
  kExitOtherStation = 4,  // another station holds the lock (headless)
  kExitCloseFailed = 5,   // the settings or the copy list could not be saved
  kExitNoMiscFolder = 6,  // the station's folder has no misc/ folder
};

// Flushes the output and ends the process at once (running workers are not waited for).
[[noreturn]] void exitProcess(int code);

struct ShellOptions {
  int runs = 0;            // close once this many runs are tallied; 0: only when told
  int timeoutSeconds = 0;  // 0: no limit
  unsigned pollMs = 50;    // how often the notifications are looked at
  std::string screenshot;  // the window as a picture once the runs are tallied
  // The exit code from the tally (and the limits). Off for a window closed by its
  // operator, which ends with 0 however its runs went.
  bool exitFromTally = true;
  const std::atomic<bool>* stop = nullptr;  // set by a signal: close as the window would
  // Ends the process when the time limit or a stop request finds the station held up.
  std::function<void(int)> exitNow = exitProcess;
  StartupHooks hooks;
};

class StationShell {
 public:
  // Makes the binder and the controls on `host` and attaches them to the model; the
  // calling thread is the window thread. `events` and `arrival` may be null (no players).
  StationShell(StationModel& model, FrontEndHost& host, platform::VolumeEvents* events, ArrivalContext* arrival,
               ShellOptions options = {});
  ~StationShell();
  StationShell(const StationShell&) = delete;
  StationShell& operator=(const StationShell&) = delete;

  // Shows the window and runs FormShow; the notifications and the limits are looked at
  // from then on.
  void show();
  // FormClose, when the window is to close; false: it stays open.
  bool close();
  // show(), the front end's loop to its end, the exit code.
  int run();
  // Looks at the notifications and the limits once (the window thread's timer does it).
  void tick();

  Binder& binder() { return *binder_; }

 private:
  class Watchdog;
  void finish(bool tallied);
  void detach();
  int exitCode();

  StationModel& model_;
  FrontEndHost& host_;
  platform::VolumeEvents* events_;
  ArrivalContext* arrival_;
  ShellOptions o_;
  std::unique_ptr<Binder> binder_;
  std::unique_ptr<Watchdog> watchdog_;
  std::chrono::steady_clock::time_point deadline_;
  bool attached_ = false, shown_ = false;
  bool finishing_ = false, timedOut_ = false, pictureFailed_ = false;
  bool closed_ = false, closeFailed_ = false, tookOver_ = false;
};

// The trace line of a notification.
std::string noticeLine(const platform::VolumeNotice& notice);

}  // namespace station

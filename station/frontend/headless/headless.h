// The station without a window: the same model, start-up and close orders, driven by the
// volume notifications; every row and counter change printed as a line, modal messages
// printed and answered with OK. It stops by itself once enough runs have been tallied.
#pragma once

#include <atomic>
#include <cstdio>

#include "platform/volume_events.h"
#include "station/model/device_arrival.h"
#include "station/model/startup.h"
#include "station/model/station_model.h"

namespace station {

enum HeadlessExit {
  kHeadlessAllSucceeded = 0,
  kHeadlessRunFailed = 1,     // a tallied run failed
  kHeadlessUsage = 2,         // bad command line
  kHeadlessTimedOut = 3,      // the time limit came first
  kHeadlessOtherStation = 4,  // another station holds the lock
  kHeadlessCloseFailed = 5,   // the settings or the copy list could not be saved
};

struct HeadlessOptions {
  int runs = 0;            // stop once this many runs are tallied; 0: only when told
  int timeoutSeconds = 0;  // 0: no limit
  unsigned pollMs = 50;    // how often the notifications are looked at
  std::FILE* out = stdout;
  const std::atomic<bool>* stop = nullptr;  // set by a signal: close as the window would
};

// One line for a change, or "" for changes the trace leaves out.
std::string headlessLine(const StationModel& model, const Change& change);

// FormShow, the notifications until the end, FormClose. The model must already have
// passed FormCreate. Returns the exit code.
int runHeadless(StationModel& model, platform::VolumeEvents& events, ArrivalContext& context,
                const HeadlessOptions& options, const StartupHooks& hooks = {});

}  // namespace station

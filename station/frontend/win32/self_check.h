// The window's self-check (tests, also under Wine): walks its own controls against the
// window description and the model (class, geometry, texts, colours, visible and enabled
// states), drives them with the messages an operator's input produces, and can capture
// the window, wait for a later start to bring it forward, or wait for an arrival. No
// pointer, focus or timing of clicks is involved. Every check is a report line: "ok ...",
// or "FAIL ...: got ..., want ..."; "text NAME = ..." lines give each caption as shown.
#pragma once

#include <string>

#include "station/frontend/win32/station_window.h"
#include "station/frontend/win32/win32_front_end.h"

namespace station::win32 {

struct SelfCheckOptions {
  std::string report;      // the report file (UTF-8)
  std::string screenshot;  // a 24-bit BMP of the window, when set
  // Minimised, wait this long for a later start to restore it, then for REPORT.close.
  int waitRaiseMs = 0;
  char waitArrival = 0;    // wait for this drive's arrival in the port log
  int waitArrivalMs = 20000;
};

// The dialogs as the self-check answers them: no dialog opens, messages are recorded.
Win32Dialogs selfCheckDialogs();

// Starts the self-check on the window thread once the window is shown; it closes the
// window at its end. The process's exit code is then 0 when every check passed, else 1.
void startSelfCheck(StationWindow& station, const SelfCheckOptions& options);
int selfCheckExitCode();

}  // namespace station::win32

// The Windows station program, with the parts a test build adds (the window's self-check).
#pragma once

#include <functional>

#include "station/frontend/win32/station_window.h"
#include "station/program/station_program.h"

namespace station::win32 {

struct WindowsProgramParts {
  ExtraOptions options;                  // more command-line options
  std::function<Win32Dialogs()> dialogs;  // empty: the system's
  // On the window thread once the station is up.
  std::function<void(StationWindow&, const StationOptions&)> ready;
  std::function<int(int)> exitCode;  // the process's exit code from the station's
}; 

// The whole program; returns the exit code (the caller ends the process with it, leaving
// workers that still run alone).
int runWindowsProgram(int argc, char** argv, const WindowsProgramParts& parts = {});

}  // namespace station::win32

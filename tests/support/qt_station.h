// The Qt window as mpstation runs it, without players: the shell binds it to the model
// and shows it (FormShow); closing the window runs the shell's close (FormClose).
#pragma once

#include "station/frontend/qt/station_window.h"
#include "station/program/shell.h"

namespace tarn::testing {

class QtStation : public station::StationWindow {
 public:
  QtStation(station::StationModel& model, station::WindowDeps deps, station::ShellOptions options = {})
      : StationWindow(std::move(deps)), shell_(model, *this, nullptr, nullptr, std::move(options)) {
    shell_.show();
  }
  station::StationShell& shell() { return shell_; }

 private:
  station::StationShell shell_;
};

}  // namespace tarn::testing

// mpstation: the production station. With a window (Qt Widgets) by default; with
// --headless the same station runs without one, printing every row and counter change and
// taking the operator's commands on standard input. --sim ROOT (or TARN_SIM) selects the
// simulated players; on Linux without it the station produces real players
// (--real-devices with --sim: real disks, the vendor requests answered by the simulated
// players, for tests). The shell (station/program) runs either front end.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "station/frontend/headless/headless.h"
#include "station/frontend/qt/preview_window.h"
#include "station/frontend/qt/station_window.h"
#include "station/program/shell.h"
#include "station/program/station_program.h"

int main(int argc, char** argv) {
  station::StationProcess& p = station::startStation(std::vector<std::string>(argv, argv + argc));
  if (p.options.headless) {
    station::HeadlessOptions options;
    options.commands = station::readCommand;
    station::HeadlessHost host(std::move(options));
    station::exitProcess(station::runStation(p, host));
  }
  // Qt would abort without a display; say what to do instead.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    std::fputs("mpstation: no display; use --headless\n", stderr);
    station::exitProcess(1);
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tarnwright v2.0");
  // The preview window exists before the main window is shown, hidden until a Preview.
  station::WindowDeps deps;
  deps.preview = new station::QtPreviewWindow();
  station::StationWindow window(std::move(deps));
  // Workers that are still running when the station ends are neither waited for nor
  // stopped: leave without running destructors under them.
  station::exitProcess(station::runStation(p, window));
}

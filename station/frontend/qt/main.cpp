// mpstation: the production station. With a window (Qt Widgets) by default; with
// --headless the same model, start-up and close orders run without one, printing every
// row and counter change and taking the operator's commands on standard input. --sim ROOT
// (or TARN_SIM) selects the simulated players; on Linux without it the station produces
// real players (--real-devices with --sim: real disks, the vendor requests answered by the
// simulated players, for tests).
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "station/frontend/headless/headless.h"
#include "station/frontend/qt/preview_window.h"
#include "station/frontend/qt/station_window.h"
#include "station/program/station_program.h"

int main(int argc, char** argv) {
  station::StationProcess& p = station::startStation(std::vector<std::string>(argv, argv + argc));
  if (p.options.headless) station::runHeadlessStation(p);
  // Qt would abort without a display; say what to do instead.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    std::fputs("mpstation: no display; use --headless\n", stderr);
    station::exitProcess(1);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("Tarnwright v2.0");
  platform::InstanceLock* lock = p.check.lock.get();
  if (!station::createStation(p)) station::exitProcess(0);  // the running one comes forward
  station::StationWindow* window = nullptr;
  try {
    // The preview window exists before the main window is shown, hidden until a Preview;
    // the main window wires its stop and frame-list hooks into FormShow and FormClose.
    auto* preview = new station::TfrmBmpPreview();
    station::WindowDeps deps;
    deps.preview = preview;
    deps.arrival = p.arrival.get();
    deps.events = p.events.get();
    window = new station::StationWindow(*p.model, std::move(deps));
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "MP3 Tool", e.what());
    station::exitProcess(1);
  }
  lock->setWindow(reinterpret_cast<void*>(window->winId()));
  lock->onRaiseRequest([window] {
    QMetaObject::invokeMethod(window, [window] { window->raiseFromAnotherStart(); }, Qt::QueuedConnection);
  });
  window->show();
  // Workers that are still running when the station ends are neither waited for nor
  // stopped: leave without running destructors under them.
  station::exitProcess(app.exec());
}

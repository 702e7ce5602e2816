// mpstation: the production station. With a window (Qt Widgets) by default; with
// --headless the same model, start-up and close orders run without one, printing every
// row and counter change and taking the operator's commands on standard input. --sim ROOT
// (or TARN_SIM) selects the simulated players; on Linux without it the station produces
// real players (--real-devices with --sim: real disks, the vendor requests answered by the
// simulated players, for tests).
#include <QApplication>
#include <QMessageBox>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/program_folder.h"
#include "platform/single_instance.h"
#ifdef __linux__
#include "platform/linux/real_devices.h"
#endif
#include "platform/volume_events.h"
#include "station/engine/product_thread.h"
#include "station/frontend/headless/headless.h"
#include "station/frontend/qt/preview_window.h"
#include "station/frontend/qt/station_window.h"
#ifdef TARN_HAVE_RECORDS
#include "station/records/recorder.h"
#endif

namespace {

const char kUsage[] =
    "usage: mpstation [--sim ROOT] [--real-devices] [--allow-device PATH]...\n"
    "                 [--station NAME] [--no-records] [--headless [--runs N] [--timeout SECONDS]]\n"
    "  --sim ROOT        simulated players under ROOT (the same as TARN_SIM=ROOT)\n"
    "  --real-devices    real players' disks even with --sim (vendor requests then go to\n"
    "                    the simulated players)\n"
    "  --allow-device PATH  for tests only: take this disk (e.g. /dev/loop5) as a player\n"
    "                    although it has no USB port\n"
    "  --station NAME    the station's name in its production records (default: the\n"
    "                    host name, or TARN_STATION)\n"
    "  --no-records      keep no production records\n"
    "  --headless        no window: every row and counter change is printed as a line,\n"
    "                    messages are printed and answered with OK; commands on standard\n"
    "                    input, one a line: add FILE, remove INDEX, check NAME 0|1,\n"
    "                    label TEXT, combo NAME INDEX, start, quit\n"
    "  --runs N          headless: close once N runs have been tallied\n"
    "  --timeout SECONDS headless: give up after this long\n"
    "Exit codes (headless): 0 every tallied run succeeded, 1 a run failed, 2 bad command\n"
    "line, 3 time limit reached, 4 another station is running, 5 settings not saved.\n";

struct Options {
  bool headless = false;
  std::string sim;
  int runs = 0;
  int timeout = 0;
  bool realDevices = false;
  std::vector<std::string> allowed;
  std::string station;
  bool records = true;
};

bool number(const char* text, int& out) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > 1000000) return false;
  out = static_cast<int>(v);
  return true;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--headless") o.headless = true;
    else if (a == "--sim" && hasValue) o.sim = argv[++i];
    else if (a == "--real-devices") o.realDevices = true;
    else if (a == "--allow-device" && hasValue) o.allowed.push_back(argv[++i]);
    else if (a == "--station" && hasValue) o.station = argv[++i];
    else if (a == "--no-records") o.records = false;
    else if (a == "--runs" && hasValue) { if (!number(argv[++i], o.runs)) return false; }
    else if (a == "--timeout" && hasValue) { if (!number(argv[++i], o.timeout)) return false; }
    else return false;
  }
  return true;
}

std::atomic<bool> stopRequested{false};
void onSignal(int) { stopRequested = true; }

// Workers that are still running when the station ends are neither waited for nor
// stopped: leave without running destructors under them.
[[noreturn]] void leave(int code) { station::exitProcess(code); }

// Production records beside the station, for the one instance that runs.
void startRecording(const Options& o) {
#ifdef TARN_HAVE_RECORDS
  const char* env = std::getenv("TARN_STATION");
  std::string name = !o.station.empty() ? o.station : env ? env : "";
  if (o.records) station::records::enableRecording(platform::programFolder() + "/misc", name);
#else
  (void)o;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return station::kHeadlessUsage;
  }
  if (o.sim.empty()) {
    if (const char* env = std::getenv("TARN_SIM")) o.sim = env;
  } else {
    setenv("TARN_SIM", o.sim.c_str(), 1);  // devcmd runs and the volume seams inherit it
  }

  // A simulated machine has a station of its own; TARN_INSTANCE_DIR overrides both.
  std::string lockFolder = platform::defaultInstanceFolder();
  const char* own = std::getenv("TARN_INSTANCE_DIR");
  if ((!own || !*own) && !o.sim.empty()) lockFolder = o.sim;
  platform::InstanceCheck check = platform::checkSingleInstance(platform::kInstanceName, lockFolder);

  auto* model = new station::StationModel();  // lives as long as the process
  model->setRunStarter([model](char drive) { station::startProductThread(*model, drive); });
#ifdef __linux__
  if (o.sim.empty() || o.realDevices) {
    platform::RealDeviceOptions real;
    real.allowed = o.allowed;
    platform::chooseRealDevices(std::move(real));
  }
#endif
  auto events = o.sim.empty() || o.realDevices ? platform::makeVolumeEvents()
                                               : platform::makeSimVolumeEvents(o.sim);
  station::DeviceTool tool(station::systemLauncher(), *model);
  station::ArrivalContext arrival{tool, nullptr};

  if (o.headless) {
    bool first = static_cast<bool>(check.lock);
    if (!station::FormCreate(*model, std::move(check))) {
      std::fprintf(stderr, "mpstation: another station is running; it was asked to come forward\n");
      leave(station::kHeadlessOtherStation);
    }
    (void)first;
    startRecording(o);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    station::HeadlessOptions ho;
    ho.runs = o.runs;
    ho.timeoutSeconds = o.timeout;
    ho.stop = &stopRequested;
    ho.commands = [](std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); };
    leave(station::runHeadless(*model, *events, arrival, ho));
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("Tarnwright v2.0");
  platform::InstanceLock* lock = check.lock.get();
  if (!station::FormCreate(*model, std::move(check))) leave(0);  // the running one comes forward
  startRecording(o);
  station::StationWindow* window = nullptr;
  try {
    // The preview window exists before the main window is shown, hidden until a Preview;
    // the main window wires its stop and frame-list hooks into FormShow and FormClose.
    auto* preview = new station::TfrmBmpPreview();
    station::WindowDeps deps;
    deps.preview = preview;
    deps.arrival = &arrival;
    deps.events = events.get();
    window = new station::StationWindow(*model, std::move(deps));
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "MP3 Tool", e.what());
    leave(1);
  }
  lock->setWindow(reinterpret_cast<void*>(window->winId()));
  lock->onRaiseRequest([window] {
    QMetaObject::invokeMethod(window, [window] { window->raiseFromAnotherStart(); }, Qt::QueuedConnection);
  });
  window->show();
  int code = app.exec();
  leave(code);
}

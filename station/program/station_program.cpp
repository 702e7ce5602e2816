#include "station/program/station_program.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/command_line.h"
#include "base/tool_environment.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/sim/players.h"
#include "station/engine/product_thread.h"
#include "station/model/production_check.h"
#include "station/model/startup.h"
#include "station/program/shell.h"
#ifdef TARN_HAVE_RECORDS
#include "station/records/recorder.h"
#endif

namespace station {

namespace {

const char kUsage[] =
    "usage: mpstation [--sim ROOT] [--real-devices] [--allow-device PATH]...\n"
    "                 [--station NAME] [--no-records] [--headless] [--runs N] [--timeout SECONDS]\n"
    "                 [--screenshot FILE]\n"
    "       mpstation --help | --version\n"
    "  --sim ROOT        simulated players under ROOT (the same as TARN_SIM=ROOT)\n"
    "  --real-devices    real players' disks even with --sim (vendor requests then go to\n"
    "                    the simulated players; Linux)\n"
    "  --allow-device PATH  for tests only: take this disk (e.g. /dev/loop5) as a player\n"
    "                    although it has no USB port (Linux)\n"
    "  --station NAME    the station's name in its production records (default: the\n"
    "                    host name, or TARN_STATION)\n"
    "  --no-records      keep no production records\n"
    "  --headless        no window: every row and counter change is printed as a line,\n"
    "                    messages are printed and answered with OK; commands on standard\n"
    "                    input, one a line: add FILE, remove INDEX, check NAME 0|1,\n"
    "                    label TEXT, combo NAME INDEX, start, quit\n"
    "  --runs N          close once N runs have been tallied\n"
    "  --timeout SECONDS close after this long\n"
    "  --screenshot FILE the window as a picture once the --runs are tallied (a window's\n"
    "                    own: .bmp, .png where the toolkit writes it)\n";

const char kExitCodes[] =
    "Exit codes (headless, or a window with --runs or --timeout): 0 every tallied run\n"
    "succeeded, 1 a run failed (or no screenshot), 2 bad command line, 3 time limit reached,\n"
    "4 another station is running (headless), 5 settings not saved, 6 the station's folder\n"
    "has no misc/ folder.\n";

std::atomic<bool> stopRequested{false};
void onSignal(int) { stopRequested = true; }

}  // namespace

bool optionNumber(const std::string& text, long least, long most, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v < least || v > most) return false;
  out = static_cast<int>(v);
  return true;
}

std::string stationUsage(const ExtraOptions& extra) { return kUsage + extra.usage + kExitCodes; }

bool parseStationOptions(const std::vector<std::string>& args, StationOptions& o, const ExtraOptions& extra,
                         std::string* error) {
  auto refuse = [error](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    auto count = [&](int& out) {
      const std::string& v = args[++i];
      return optionNumber(v, 0, 1000000, out) || refuse(a + " wants a whole number from 0 to 1000000, not \"" + v + "\"");
    };
    if (a == "--help" || a == "-h") o.help = true;
    else if (a == "--version") o.version = true;
    else if (a == "--headless") o.headless = true;
    else if (a == "--sim" && hasValue) o.sim = args[++i];
    else if (a == "--real-devices") o.realDevices = true;
    else if (a == "--allow-device" && hasValue) o.allowed.push_back(args[++i]);
    else if (a == "--station" && hasValue) o.station = args[++i];
    else if (a == "--no-records") o.records = false;
    else if (a == "--runs" && hasValue) { if (!count(o.runs)) return false; }
    else if (a == "--timeout" && hasValue) { if (!count(o.timeout)) return false; }
    else if (a == "--screenshot" && hasValue) o.screenshot = args[++i];
    else if (int taken = extra.handle ? extra.handle(args, i) : 0; taken > 0) i += static_cast<size_t>(taken - 1);
    else if (a == "--sim" || a == "--allow-device" || a == "--station" || a == "--runs" || a == "--timeout" ||
             a == "--screenshot")
      return refuse(a + " needs a value");
    else if (a.size() > 1 && a[0] == '-') return refuse("unknown option " + a);
    else return refuse("unexpected argument " + a);
  }
  if (o.headless && !o.screenshot.empty()) return refuse("--screenshot needs a window, not --headless");
  return true;
}

StationProcess& startStation(const std::vector<std::string>& args, const ExtraOptions& extra) {
  auto* p = new StationProcess();  // lives as long as the process
  StationOptions& o = p->options;
  std::string error;
  if (!parseStationOptions(args, o, extra, &error)) exitProcess(tarn::badCommandLine("mpstation", error));
  if (o.help || o.version) {
    if (o.help) std::fputs(stationUsage(extra).c_str(), stdout);
    else std::printf("%s\n", tarn::versionLine("mpstation").c_str());
    exitProcess(0);
  }
  const bool simFromOption = !o.sim.empty();
  if (o.sim.empty()) o.sim = tarn::simRootFromEnvironment();
  else platform::setEnvironment(tarn::kSimRootVariable, o.sim);  // the children inherit it
  // A mistyped root would be a simulation nobody plugs players into: silence for ever.
  std::error_code ec;
  if (!o.sim.empty() && !std::filesystem::is_directory(o.sim, ec))
    exitProcess(tarn::badCommandLine(
        "mpstation", (simFromOption ? std::string("--sim") : std::string(tarn::kSimRootVariable)) + ": no folder " + o.sim));
  if (auto missing = missingStationFolders(platform::programFolder()); !missing.empty()) {
    std::string names;
    for (const std::string& path : missing) names += (names.empty() ? "" : ", ") + path;
    std::fprintf(stderr, "mpstation: cannot start: missing %s (the station's data files belong there)\n",
                 names.c_str());
    exitProcess(kExitNoMiscFolder);
  }
  enableProductionCheck(o.headless);

  // A simulated machine has a station of its own; TARN_INSTANCE_DIR overrides both.
  std::string lockFolder = platform::defaultInstanceFolder();
  const char* own = std::getenv("TARN_INSTANCE_DIR");
  if ((!own || !*own) && !o.sim.empty()) lockFolder = o.sim;
  p->check = platform::checkSingleInstance(platform::kInstanceName, lockFolder);

  StationModel* model = p->model = new StationModel();
  // Real or simulated players, chosen here once; with --real-devices the simulated root
  // only receives the device tool's vendor requests (through the children's environment).
  if (o.sim.empty() || o.realDevices) {
    platform::SystemPlayerOptions real;
    real.allowed = o.allowed;
    p->players = platform::makeSystemPlayers(std::move(real));
  } else {
    p->players = platform::makeSimPlayers(o.sim);
  }
  const platform::Players& players = *p->players;
  model->setRunStarter([model, &players](char drive) {
    startProductThread(model->reporter(), model->runSettings(), players, drive);
  });
  p->events = players.events();
  p->tool = std::make_unique<DeviceTool>(systemLauncher(), model->reporter(), model->runSettings());
  p->arrival = std::make_unique<ArrivalContext>(ArrivalContext{*p->tool, nullptr});
  return *p;
}

bool createStation(StationProcess& p) {
  if (!FormCreate(*p.model, std::move(p.check))) return false;
#ifdef TARN_HAVE_RECORDS
  const char* env = std::getenv("TARN_STATION");
  const std::string name = !p.options.station.empty() ? p.options.station : env ? env : "";
  if (p.options.records) records::enableRecording(platform::programFolder() + "/misc", name);
#endif
  return true;
}

int runStation(StationProcess& p, FrontEndHost& host) {
  platform::InstanceLock* lock = p.check.lock.get();  // the model takes it over
  if (!createStation(p)) {
    if (!p.options.headless) return kExitAllSucceeded;  // the running one comes forward
    std::fprintf(stderr, "mpstation: another station is running; it was asked to come forward\n");
    return kExitOtherStation;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  ShellOptions so;
  so.runs = p.options.runs;
  so.timeoutSeconds = p.options.timeout;
  so.screenshot = p.options.screenshot;
  so.exitFromTally = p.options.headless || p.options.runs > 0 || p.options.timeout > 0;
  so.stop = &stopRequested;
  std::unique_ptr<StationShell> shell;
  try {
    shell = std::make_unique<StationShell>(*p.model, host, p.events.get(), p.arrival.get(), std::move(so));
  } catch (const std::exception& e) {
    host.fatal(e.what());
    return kExitRunFailed;
  }
  if (lock) {
    lock->setWindow(host.nativeWindow());
    lock->onRaiseRequest([&host] { host.frontEnd().runOnWindowThread([&host] { host.comeForward(); }, false); });
  }
  // Workers still running at the end are neither waited for nor stopped: the caller
  // leaves without running destructors under them.
  return shell.release()->run();
}

}  // namespace station

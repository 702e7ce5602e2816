// What every station program does around its front end (headless, Qt, Win32): the command
// line, the simulated or real players, the single instance, the model with its run
// starter, the notification source, production records, and the shell's run.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/single_instance.h"
#include "platform/players.h"
#include "platform/volume_events.h"
#include "station/model/device_arrival.h"
#include "station/model/station_model.h"
#include "station/ops/device_tool.h"
#include "station/window/front_end_host.h"

namespace station {

struct StationOptions {
  bool help = false, version = false;
  bool headless = false;
  std::string sim;
  int runs = 0;
  int timeout = 0;
  bool realDevices = false;
  std::vector<std::string> allowed;
  std::string station;
  bool records = true;
  std::string screenshot;
};

// A front end's own options: `handle` is given an argument and the ones after it and
// returns how many it took (0: not its own).
struct ExtraOptions {
  std::function<int(const std::vector<std::string>& args, size_t at)> handle;
  std::string usage;  // its lines of the usage text
};

// An option's value as a whole decimal number from `least` to `most`; false for anything else.
bool optionNumber(const std::string& text, long least, long most, int& out);

// False on a bad command line, `error` then saying why in one line.
bool parseStationOptions(const std::vector<std::string>& args, StationOptions& options,
                         const ExtraOptions& extra = {}, std::string* error = nullptr);
std::string stationUsage(const ExtraOptions& extra = {});

struct StationProcess {
  StationOptions options;
  platform::InstanceCheck check;
  StationModel* model = nullptr;  // lives as long as the process
  std::unique_ptr<platform::Players> players;  // real or simulated, chosen once
  std::unique_ptr<platform::VolumeEvents> events;
  std::unique_ptr<DeviceTool> tool;
  std::unique_ptr<ArrivalContext> arrival;
};

// The process as the options choose it: TARN_SIM handed on to every child, the single
// instance asked, the model, the players' notifications and the device tool made.
// Answers --help and --version; says a bad command line, a missing simulation root or a
// station folder without misc/ and ends the process.
StationProcess& startStation(const std::vector<std::string>& args, const ExtraOptions& extra = {});

// FormCreate and production records. False when another station runs (it was asked to
// come forward): the caller ends without touching any file.
bool createStation(StationProcess& process);

// FormCreate and records, then the shell on `host` from FormShow to FormClose: the limits
// and signals of the options, the notifications of the chosen players. Returns the exit
// code (another station running: 0 with a window, which it brought forward).
int runStation(StationProcess& process, FrontEndHost& host);

}  // namespace station

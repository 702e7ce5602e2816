// mpstation.exe: the production station on Windows, a native window over the shared window
// description; --headless runs the same station without one, as on Linux. --sim ROOT
// (or TARN_SIM): arrivals from the simulated players' events file and vendor requests
// answered by them, their volumes the drives of the same letters.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "station/frontend/headless/headless.h"
#include "station/frontend/win32/self_check.h"
#include "station/frontend/win32/station_window.h"
#include "platform/program_folder.h"
#include "station/program/shell.h"
#include "station/program/station_program.h"

namespace {

const char kWindowUsage[] =
    "  --self-check REPORT  window tests: check the window's controls against its\n"
    "                    description and the model, drive them, write REPORT, close\n"
    "                    (with --screenshot: the window as a picture at its start)\n"
    "  --wait-raise MS   with --self-check: minimised, wait for a later start to restore\n"
    "                    it, then for the file REPORT.close before closing\n"
    "  --wait-arrival L  with --self-check: wait for drive L's arrival in the port log\n";

// A program of the window subsystem has no console; output goes to the one it was started
// from, if any (the headless station, the usage text).
void attachConsole() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  std::freopen("CONOUT$", "w", stdout);
  std::freopen("CONOUT$", "w", stderr);
  std::freopen("CONIN$", "r", stdin);
}

bool positive(const std::string& text, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v <= 0 || v > 3600000) return false;
  out = static_cast<int>(v);
  return true;
}

station::win32::SelfCheckOptions selfCheck;
bool selfChecking = false;

int windowOption(const std::vector<std::string>& args, size_t at) {
  const std::string& a = args[at];
  if (at + 1 >= args.size()) return 0;
  const std::string& v = args[at + 1];
  if (a == "--self-check") {
    selfCheck.report = v;
    selfChecking = true;
  } else if (a == "--wait-raise") {
    if (!positive(v, selfCheck.waitRaiseMs)) return 0;
  } else if (a == "--wait-arrival") {
    if (v.size() != 1 || !std::isalpha(static_cast<unsigned char>(v[0]))) return 0;
    selfCheck.waitArrival = static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
  } else {
    return 0;
  }
  return 2;
}

// The profile services that keep the settings, the current folder and the services the
// station's ".\misc\" paths go through stop at MAX_PATH characters: in a deeper folder
// the station could neither keep its settings nor find its tools, so it does not start,
// and says why in English (the language texts are out of reach too).
std::string folderTooLongMessage() {
  const std::string folder = platform::programFolder();
  const size_t longestOwnPath = folder.size() + std::strlen("\\misc\\prefer.ini.tmp");
  if (longestOwnPath < MAX_PATH) return {};
  return "The station's folder is too long for Windows (" + std::to_string(folder.size()) +
         " characters; at most " + std::to_string(MAX_PATH - 1 - (longestOwnPath - folder.size())) +
         "):\n" + folder + "\nMove the station to a shorter folder and start it again.";
}

}  // namespace

int main(int argc, char** argv) {
  attachConsole();
  const station::ExtraOptions extra{windowOption, kWindowUsage};
  station::StationProcess& p = station::startStation(std::vector<std::string>(argv, argv + argc), extra);
  if (const std::string refusal = folderTooLongMessage(); !refusal.empty()) {
    if (p.options.headless) std::fprintf(stderr, "%s\n", refusal.c_str());
    else MessageBoxA(nullptr, refusal.c_str(), platform::kInstanceName, MB_OK | MB_ICONERROR);
    station::exitProcess(1);
  }
  if (p.options.headless) {
    station::HeadlessOptions options;
    options.commands = station::readCommand;
    station::HeadlessHost host(std::move(options));
    station::exitProcess(station::runStation(p, host));
  }

  // Pictures (WIC) and the folder chooser are COM services of this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  station::win32::StationWindow window(selfChecking ? station::win32::selfCheckDialogs()
                                                    : station::win32::Win32Dialogs{});
  if (selfChecking) {
    selfCheck.screenshot = p.options.screenshot;
    window.setOnReady([&window] { station::win32::startSelfCheck(window, selfCheck); });
  }
  const int code = station::runStation(p, window);
  // Workers still running are neither waited for nor stopped.
  station::exitProcess(selfChecking ? station::win32::selfCheckExitCode() : code);
}

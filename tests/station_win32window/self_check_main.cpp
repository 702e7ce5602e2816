// mpstation.exe with the window's self-check, for the window tests only: the shipped
// program plus --self-check REPORT (and its --wait-raise, --wait-arrival).
#include <cctype>
#include <string>
#include <vector>

#include "station/frontend/win32/program.h"
#include "station/frontend/win32/self_check.h"
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
    if (!station::optionNumber(v, 1, 3600000, selfCheck.waitRaiseMs)) return 0;
  } else if (a == "--wait-arrival") {
    if (v.size() != 1 || !std::isalpha(static_cast<unsigned char>(v[0]))) return 0;
    selfCheck.waitArrival = static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
  } else {
    return 0;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  station::win32::WindowsProgramParts parts;
  parts.options = {windowOption, kWindowUsage};
  parts.dialogs = [] { return selfChecking ? station::win32::selfCheckDialogs() : station::win32::Win32Dialogs{}; };
  parts.ready = [](station::win32::StationWindow& window, const station::StationOptions& options) {
    if (!selfChecking) return;
    selfCheck.screenshot = options.screenshot;
    station::win32::startSelfCheck(window, selfCheck);
  };
  parts.exitCode = [](int code) { return selfChecking ? station::win32::selfCheckExitCode() : code; };
  station::exitProcess(station::win32::runWindowsProgram(argc, argv, parts));
}

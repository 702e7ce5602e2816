// mpstation.exe's program around the Windows front end, shared by the shipped program and
// the window's self-check program: the console, the folder-length check, the headless or
// windowed station through the shell.
#include "station/frontend/win32/program.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/program_folder.h"
#include "station/frontend/headless/headless.h"
#include "station/program/shell.h"

namespace station::win32 {

namespace {

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

int runWindowsProgram(int argc, char** argv, const WindowsProgramParts& parts) {
  attachConsole();
  StationProcess& p = startStation(std::vector<std::string>(argv, argv + argc), parts.options);
  if (const std::string refusal = folderTooLongMessage(); !refusal.empty()) {
    if (p.options.headless) std::fprintf(stderr, "%s\n", refusal.c_str());
    else MessageBoxA(nullptr, refusal.c_str(), platform::kInstanceName, MB_OK | MB_ICONERROR);
    return 1;
  }
  if (p.options.headless) {
    HeadlessOptions options;
    options.commands = readCommand;
    HeadlessHost host(std::move(options));
    exitProcess(runStation(p, host));
  }

  // Pictures (WIC) and the folder chooser are COM services of this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  StationWindow window(parts.dialogs ? parts.dialogs() : Win32Dialogs{});
  if (parts.ready) window.setOnReady([&] { parts.ready(window, p.options); });
  const int code = runStation(p, window);
  // Workers still running are neither waited for nor stopped.
  return parts.exitCode ? parts.exitCode(code) : code;
}

}  // namespace station::win32

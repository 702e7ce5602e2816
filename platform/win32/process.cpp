// Windows launch-and-wait: CreateProcessA on the command line as it stands, then the OS
// wait on the process handle. A child whose exit code happens to be 259 (STILL_ACTIVE)
// therefore ends the wait like any other.
#include "platform/process.h"

#include <cstdlib>

#include <windows.h>

#include <vector>

namespace platform {

ChildResult runChild(const ChildCommand& command, const WaitPolicy& policy) {
  ChildResult result;
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;  // 68 bytes on 32-bit Windows; the record of this build's width
  WindowsStartParams params = windowsStartParams(command.window);
  si.dwFlags = params.startFlags;
  si.wShowWindow = params.showWindow;
  PROCESS_INFORMATION pi;
  ZeroMemory(&pi, sizeof pi);
  // CreateProcessA may write into the text, and no length limit applies here.
  std::vector<char> line(command.windowsLine.begin(), command.windowsLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, params.creationFlags,
                      nullptr, nullptr, &si, &pi))
    return result;

  unsigned polls = 0;
  bool ended = false;
  for (;;) {
    DWORD w = WaitForSingleObject(pi.hProcess, policy.pollMs);
    if (w == WAIT_OBJECT_0) {
      ended = true;
      break;
    }
    if (w != WAIT_TIMEOUT) break;  // the handle cannot be waited on: treat as failed
    if (policy.pump) policy.pump();
    if (policy.maxPolls != 0 && ++polls >= policy.maxPolls) break;
  }
  DWORD code = 0;
  if (ended && GetExitCodeProcess(pi.hProcess, &code)) {
    result.outcome = ChildOutcome::Ended;
    result.exitCode = code;
  } else if (!ended && policy.maxPolls != 0 && polls >= policy.maxPolls) {
    result.outcome = ChildOutcome::StillRunning;  // not stopped: it runs on by itself
  }
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return result;
}

void setEnvironment(const std::string& name, const std::string& value) {
  // Both the C runtime's copy (getenv) and the process's block (CreateProcess) change.
  _putenv_s(name.c_str(), value.c_str());
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void keepStopSignalsAway() {}

}  // namespace platform

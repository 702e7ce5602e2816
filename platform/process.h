// Launch-and-wait: start one child hidden at high priority, wait for its end, give its
// exit code. Windows starts the command line text as it stands (CreateProcessA); POSIX
// runs the argument vector without a shell and reads the child's full 32-bit result from
// the channel named by DEVCMD_RESULT_FD, falling back to the exit status.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// How a child is kept out of sight on Windows.
enum class ChildWindow {
  None,    // CREATE_NO_WINDOW | HIGH_PRIORITY_CLASS: the device tool, the port finder
  Hidden,  // HIGH_PRIORITY_CLASS, STARTF_USESHOWWINDOW + SW_HIDE: the command processor
};

struct ChildCommand {
  std::string windowsLine;                // the text CreateProcessA receives
  std::vector<std::string> argv;          // POSIX: program and arguments, no shell
  ChildWindow window = ChildWindow::None;
  std::vector<std::pair<std::string, std::string>> extraEnv;  // POSIX: added to ours
  std::string* output = nullptr;          // POSIX: receives the child's standard output
};

struct WaitPolicy {
  unsigned pollMs = 30;
  // 0: wait for the end however long it takes; otherwise give up after this many polls
  // and leave the child running.
  unsigned maxPolls = 0;
  std::function<void()> pump;  // called at every poll while the child runs
};

enum class ChildOutcome { NotStarted, Ended, StillRunning };

struct ChildResult {
  ChildOutcome outcome = ChildOutcome::NotStarted;
  uint32_t exitCode = 0;
  bool ended() const { return outcome == ChildOutcome::Ended; }
};

ChildResult runChild(const ChildCommand& command, const WaitPolicy& policy);

// Windows creation flags and start-record fields of each kind of child; pure, so the
// exact values are checked on every platform.
constexpr uint32_t kCreateNoWindow = 0x08000000;
constexpr uint32_t kHighPriorityClass = 0x00000080;
constexpr uint32_t kStartfUseShowWindow = 0x00000001;
constexpr uint16_t kSwHide = 0;

struct WindowsStartParams {
  uint32_t creationFlags;
  uint32_t startFlags;  // STARTUPINFO.dwFlags
  uint16_t showWindow;  // STARTUPINFO.wShowWindow
};
WindowsStartParams windowsStartParams(ChildWindow window);

// The calling thread takes no stop signal (interrupt, terminate) from now on; another
// thread does. For a thread that may stay blocked in a read inside the C library: a
// handler deferred to that thread's next call (as ThreadSanitizer defers them) would
// never run. Nothing on Windows, whose console stop runs a thread of its own.
void keepStopSignalsAway();

// Exit value reported for a POSIX child killed by a signal (a crashed tool): out of every
// device answer's range, and its four equal bytes read as "no identification".
constexpr uint32_t kChildKilled = 0xFFFFFFFFu;

// The decimal value a child left in its result channel, if any.
bool parseResultChannel(const std::string& text, uint32_t& value);

// Sets a variable of this process's environment, which every child then inherits.
void setEnvironment(const std::string& name, const std::string& value);

}  // namespace platform

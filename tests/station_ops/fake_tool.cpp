// Stand-in for the device tool and other children in the launch-and-wait tests.
//   fake_tool exit N      full value N through the result channel (POSIX), exit N
//   fake_tool status N    exit N, channel left empty
//   fake_tool sleep S     sleep S seconds, exit 0
//   fake_tool print TEXT  TEXT on standard output, exit 0
//   fake_tool crash       killed by a signal (POSIX) / abort
// Any other arguments (the device tool's own, "E: rd_id"): the answer is the next line of
// the file named by FAKE_TOOL_PLAN (the last line repeats), and the arguments are appended
// to the file named by FAKE_TOOL_LOG, separated by "|".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

[[noreturn]] void finish(unsigned long code, bool channel) {
#ifdef _WIN32
  (void)channel;
  ExitProcess(static_cast<UINT>(code));
#else
  if (const char* fd = getenv("DEVCMD_RESULT_FD"); fd && channel) {
    std::string text = std::to_string(code) + "\n";
    ssize_t w = write(atoi(fd), text.data(), text.size());
    (void)w;
  }
  _exit(static_cast<int>(code & 0xFF));
#endif
}

std::string planAnswer() {
  const char* plan = getenv("FAKE_TOOL_PLAN");
  if (!plan) return "0";
  std::vector<std::string> lines;
  std::ifstream in(plan);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::string counter = std::string(plan) + ".n";
  size_t n = 0;
  std::ifstream(counter) >> n;
  std::ofstream(counter, std::ios::trunc) << n + 1;
  if (lines.empty()) return "0";
  return lines[n < lines.size() ? n : lines.size() - 1];
}

}  // namespace

int main(int argc, char** argv) {
  std::string verb = argc > 1 ? argv[1] : "";
  std::string arg = argc > 2 ? argv[2] : "";
  if (verb == "exit") finish(std::stoul(arg), true);
  if (verb == "status") finish(std::stoul(arg), false);
  if (verb == "sleep") {
    std::this_thread::sleep_for(std::chrono::seconds(std::stoi(arg)));
    finish(0, true);
  }
  if (verb == "print") {
    std::fputs(arg.c_str(), stdout);
    std::fflush(stdout);
    finish(0, true);
  }
  if (verb == "crash") {
#ifndef _WIN32
    raise(SIGKILL);
#endif
    std::abort();
  }
  if (const char* log = getenv("FAKE_TOOL_LOG")) {
    std::ofstream out(log, std::ios::app);
    for (int i = 1; i < argc; ++i) out << (i > 1 ? "|" : "") << argv[i];
    out << "\n";
  }
  std::string answer = planAnswer();
  if (answer.rfind("status ", 0) == 0) finish(std::stoul(answer.substr(7)), false);
  finish(std::stoul(answer), true);
}

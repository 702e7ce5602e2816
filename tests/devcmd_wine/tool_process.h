// Runs the built devcmd as a child process and collects what it says.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace devcmd::test {

struct ToolRun {
  bool started = false;
  uint32_t exitCode = 0;       // the whole exit code (on POSIX: the 8-bit status)
  std::string out;             // standard output, line ends as written
  std::string resultText;      // POSIX: what arrived on the result descriptor
};

// `env` entries are added to the child's environment (an empty value removes the
// variable); the variables that choose a device are always cleared first.
ToolRun runDevcmd(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env = {}, bool withResultFd = false);

std::string devcmdPath();
bool underWine();

}  // namespace devcmd::test

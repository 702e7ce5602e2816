// Port finder for simulated players: takes the serial index the station found for a
// player (A = 0), asks `tarnsim show` for that player's stored port code and ends with it.
// Like the device tool, the full value also goes to the channel named by DEVCMD_RESULT_FD,
// since port codes exceed an exit status's 8 bits. 0 means "no port".
#include "base/tool_environment.h"
#include "platform/process.h"
#include "platform/result_channel.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

[[noreturn]] void finish(uint32_t code) {
  platform::writeResultChannel(getenv(tarn::kResultChannelVariable), code);
  exit(platform::exitStatusFor(code));
}

std::string ownFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

// The control tool sits at the top of the station folder, one level above misc/.
std::string findTarnsim() {
  if (const char* t = getenv("TARNSIM")) return t;
  std::string here = ownFolder();
  for (const std::string& candidate : {here + "/../tarnsim", here + "/tarnsim"})
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  return "tarnsim";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = tarn::simRootFromEnvironment();
  if (argc < 2 || root.empty()) finish(0);
  char* end = nullptr;
  long index = strtol(argv[1], &end, 10);
  if (end == argv[1] || index < 0 || index > 25) finish(0);
  std::string letter(1, static_cast<char>('A' + index));

  std::string out;
  platform::ChildCommand cmd;
  cmd.argv = {findTarnsim(), "show", root, letter};
  cmd.output = &out;
  platform::ChildResult r = platform::runChild(cmd, {50, 0, {}});
  if (!r.ended() || r.exitCode != 0) finish(0);

  uint32_t code = 0;
  bool plugged = true;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "port_code") code = static_cast<uint32_t>(strtoul(value.c_str(), nullptr, 10));
    if (key == "plugged") plugged = !(value == "0" || value == "no" || value == "false");
  }
  finish(plugged ? code : 0);
}

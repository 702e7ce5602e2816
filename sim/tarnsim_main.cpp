// tarnsim: makes and drives simulated players for devcmd (TARN_SIM=ROOT) and the station.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "sim/player_store.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  tarnsim create ROOT LETTER [--flash-id HEX8] [--items N] [--bonding N]\n"
    "                 [--capacity MIB] [--port-code N] [--mode MODE] [--latency-ms N]\n"
    "                 [--check-polls N]\n"
    "      a new, unplugged player in ROOT/LETTER. Defaults: flash id ECD35195, 1 item,\n"
    "      bonding 1, 256 MiB, port code 1..8 by the letter (E is 5), mode rom, no latency,\n"
    "      4 polls until a flash check completes.\n"
    "      MODE: rom (blank), fsm (running the flash setup manager), firmware,\n"
    "            update (update disk), generic (product firmware)\n"
    "  tarnsim plug ROOT LETTER       the player arrives (ROOT/events gets 'N plug LETTER')\n"
    "  tarnsim unplug ROOT LETTER     the player is removed and loses power\n"
    "  tarnsim fault ROOT LETTER REQUEST [--after N] [--vanish] [--clear]\n"
    "      REQUEST (a request name such as cmd_bWriteProgram or a sub-command word such\n"
    "      as wt_pgr) fails from its N+1th time on; with --vanish the player drops off\n"
    "      at that point instead; --clear removes the fault\n"
    "  tarnsim show ROOT LETTER       the player's state as key=value lines\n"
    "  tarnsim trace ROOT LETTER      every request received, oldest first\n"
    "  tarnsim --help | --version\n"
    "ROOT must exist. Exit codes: 0 done, 1 failed, 2 bad command line.\n"
    "Environment: TARNSIM_LATENCY_MS overrides every player's latency.\n";

// Bad input: the reason and where to look, exit 2.
int usage(const std::string& message) { return tarn::badCommandLine("tarnsim", message); }

int fail(const std::string& message) {
  std::fprintf(stderr, "tarnsim: %s\n", message.c_str());
  return 1;
}

bool parseNumber(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return value <= max;
}

bool parseFlashId(const std::string& text, uint8_t out[4]) {
  if (text.size() != 8) return false;
  for (size_t i = 0; i < 4; ++i) {
    unsigned v = 0;
    for (size_t j = 0; j < 2; ++j) {
      char c = text[i * 2 + j];
      int d = c >= '0' && c <= '9' ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
      if (d < 0) return false;
      v = v * 16 + unsigned(d);
    }
    out[i] = uint8_t(v);
  }
  return true;
}

// Splits "--name value" and "--name=value" options from the positional arguments.
struct Options {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> named;
  std::string error;
};

Options parseOptions(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                     const std::vector<std::string>& valued) {
  Options o;
  auto in = [](const std::vector<std::string>& v, const std::string& s) {
    for (auto& x : v)
      if (x == s) return true;
    return false;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      o.positional.push_back(a);
      continue;
    }
    std::string name = a, value;
    size_t eq = a.find('=');
    if (eq != std::string::npos) name = a.substr(0, eq), value = a.substr(eq + 1);
    if (in(flags, name) && eq == std::string::npos) {
      o.named.push_back({name, ""});
    } else if (in(valued, name)) {
      if (eq == std::string::npos) {
        if (i + 1 >= args.size()) {
          o.error = name + " needs a value";
          return o;
        }
        value = args[++i];
      }
      o.named.push_back({name, value});
    } else {
      o.error = "unknown option " + a;
      return o;
    }
  }
  return o;
}

int create(const std::string& root, char letter, const Options& o) {
  tarnsim::PlayerSpec want;
  for (auto& [name, value] : o.named) {
    uint64_t v = 0;
    auto number = [&](uint64_t max) {
      return parseNumber(value, max, v);
    };
    if (name == "--flash-id") {
      if (!parseFlashId(value, want.flashId)) return usage("--flash-id wants 8 hex digits: " + value);
    } else if (name == "--items") {
      if (!number(255)) return usage("--items wants 0..255: " + value);
      want.items = uint8_t(v);
    } else if (name == "--bonding") {
      if (!number(255)) return usage("--bonding wants 0..255: " + value);
      want.bonding = uint8_t(v);
    } else if (name == "--capacity") {
      // The player reports its size in 512-byte blocks counted in 32 bits.
      if (!number(tarnsim::kMaxCapacityMib) || v == 0)
        return usage("--capacity wants 1.." + std::to_string(tarnsim::kMaxCapacityMib) + " MiB: " + value);
      want.capacityMib = uint32_t(v);
    } else if (name == "--port-code") {
      if (!number(0xFFFFFFFF)) return usage("--port-code wants a number: " + value);
      want.portCode = int64_t(v);
    } else if (name == "--mode") {
      auto mode = tarnsim::parseMode(value);
      if (!mode) return usage("--mode wants rom, fsm, firmware, update or generic: " + value);
      want.mode = *mode;
    } else if (name == "--latency-ms") {
      if (!number(tarnsim::kMaxLatencyMs))
        return usage("--latency-ms wants 0.." + std::to_string(tarnsim::kMaxLatencyMs) + ": " + value);
      want.latencyMs = uint32_t(v);
    } else if (name == "--check-polls") {
      if (!number(tarnsim::kMaxCheckPolls) || v == 0)
        return usage("--check-polls wants 1.." + std::to_string(tarnsim::kMaxCheckPolls) + ": " + value);
      want.checkPolls = uint32_t(v);
    }
  }
  // A mistyped root would otherwise become a new simulation that no station listens to.
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) return fail("no folder " + root + " (make it first)");
  std::string error;
  return tarnsim::createPlayer(root, letter, want, error) ? 0 : fail(error);
}

int fault(const std::string& root, char letter, const Options& o) {
  if (o.positional.size() != 4) return usage("fault wants ROOT LETTER REQUEST");
  tarnsim::FaultSpec want;
  want.request = o.positional[3];
  for (auto& [name, value] : o.named) {
    uint64_t v = 0;
    if (name == "--after") {
      if (!parseNumber(value, 0xFFFFFFFF, v)) return usage("--after wants a number: " + value);
      want.after = uint32_t(v);
    } else if (name == "--vanish") {
      want.vanish = true;
    } else if (name == "--clear") {
      want.clear = true;
    }
  }
  std::string error;
  return tarnsim::setFault(root, letter, want, error) ? 0 : fail(error);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (args[0] == "help") args[0] = "--help";
  if (auto code = tarn::helpOrVersion(args[0], "tarnsim", kUsage)) return *code;
  const std::string command = args[0];

  Options o;
  if (command == "create")
    o = parseOptions(args, {}, {"--flash-id", "--items", "--bonding", "--capacity", "--port-code",
                                "--mode", "--latency-ms", "--check-polls"});
  else if (command == "fault")
    o = parseOptions(args, {"--vanish", "--clear"}, {"--after"});
  else if (command == "plug" || command == "unplug" || command == "show" || command == "trace")
    o = parseOptions(args, {}, {});
  else
    return usage("unknown command " + command);
  if (!o.error.empty()) return usage(o.error);
  if (o.positional.size() < 3) return usage(command + " wants ROOT LETTER");
  const std::string& root = o.positional[1];
  char letter = tarnsim::parseLetter(o.positional[2]);
  if (!letter) return usage("not a drive letter: " + o.positional[2]);
  if (command != "fault" && o.positional.size() != 3)
    return usage("unexpected argument " + o.positional[3]);

  std::string error;
  if (command == "create") return create(root, letter, o);
  if (command == "fault") return fault(root, letter, o);
  if (command == "plug" || command == "unplug")
    return tarnsim::setPlugged(root, letter, command == "plug", error) ? 0 : fail(error);
  if (command == "show") {
    std::vector<std::string> lines;
    if (!tarnsim::showPlayer(root, letter, lines, error)) return fail(error);
    for (auto& l : lines) std::printf("%s\n", l.c_str());
    return 0;
  }
  std::string text;
  if (!tarnsim::readTrace(root, letter, text, error)) return fail(error);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

// The simulated player's stored state on arbitrary bytes (after its fixed header): what
// tarnsim shows and changes, and a run of devcmd requests served from it, never read or
// write outside the record and its files. Input: the record's bytes from offset 12.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devcmd/devcmd.h"
#include "fuzz/sandbox.h"
#include "sim/player_store.h"

namespace {

constexpr std::size_t kHeader = 12;  // magic, version, size

const std::string& root() {
  static const std::string dir = [] {
    std::string r = fuzz::sandbox() + "/players";
    tarnsim::PlayerSpec want;
    want.capacityMib = 1;
    std::string error;
    if (!tarnsim::createPlayer(r, 'E', want, error)) std::abort();
    fuzz::writeFile(fuzz::sandbox() + "/chunk.bin", std::string(3000, 'x'));
    return r;
  }();
  return dir;
}

void devcmdRun(std::vector<std::string> args) {
  args.insert(args.begin(), {"devcmd", "E:"});
  devcmd::StringOutput out;
  devcmd::Environment env;
  env.infoPath = fuzz::sandbox() + "/info.txt";
  devcmd::run(args, out, env);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Requests answer at once whatever latency the record holds.
  ::setenv("TARNSIM_LATENCY_MS", "0", 1);
  ::setenv("TARN_SIM", root().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarnsim::PlayerState state;
  std::memcpy(reinterpret_cast<char*>(&state) + kHeader, data,
              std::min(size, sizeof state - kHeader));

  const std::string dir = tarnsim::playerDir(root(), 'E');
  fuzz::writeFile(dir + "/state", reinterpret_cast<const std::uint8_t*>(&state), sizeof state);
  fuzz::writeFile(dir + "/trace", "");
  fuzz::writeFile(root() + "/events", "");

  std::vector<std::string> lines;
  std::string error;
  tarnsim::showPlayer(root(), 'E', lines, error);
  tarnsim::setFault(root(), 'E', {"wt_pgr", 0, false, true}, error);
  tarnsim::setFault(root(), 'E', {"rd_id", 2, true, false}, error);

  const std::string chunk = fuzz::sandbox() + "/chunk.bin";
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {}, {"rd_id"}, {"get_size_MB"}, {"chk_bad_s"}, {"chk_bad_p"}, {"wt_pgr_s", "3000"},
           {"wt_pgr", chunk}, {"wt_pgr_e"}, {"wt_cfg", chunk}, {"rdx", "65530"},
           {"q_1st_burn"}, {"2st_reset"}, {"reset"}})
    devcmdRun(args);
  tarnsim::setPlugged(root(), 'E', false, error);
  tarnsim::readState(root(), 'E', state, error);
  return 0;
}

// The station against instantly answering simulated players: how close one player's
// production time comes to the pauses its sequence prescribes, how eight players at once
// compare with one, and the station's peak memory while it produces eight.
//
//   build/<dir>/bench/station_bench [ROUNDS]
//
// The prescribed pauses are those of a real run of the same sequence on a fresh player of
// the same kind, made in this process with pauses that only count (the other figures come
// from mpstation --headless itself).
#include "station_harness.h"

#include "platform/usb_topology.h"
#include "platform/volume.h"
#include "station/engine/production_sequence.h"
#include "station/model/startup.h"
#include "station/model/station_model.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

using namespace station;
using namespace station::e2e;
using Clock = std::chrono::steady_clock;

namespace {

const fs::path kDist = TARN_DIST_DIR;
const char kLetters[] = "EFGHIJKL";

class CountingPauses : public Pauses {
 public:
  void pause(unsigned ms) override { total += ms; }
  uint64_t total = 0;
};

void prepare(StationFolder& folder) {
  folder.settings({{"Format", "0"},
                   {"Blanking check", "0"},
                   {"FwUpgrade", "1"},
                   {"ISO upgrade", "0"},
                   {"Manual Upgrade", "0"},
                   {"FwParityCheck", "1"},
                   {"Label", "BENCH"}});
  folder.copyList({folder.file("program.bin", firmwareImage(1, 256 * 1024)),
                   folder.file("prefer.dat", std::string(64 * 1024, '\x5A')),
                   folder.file("song.mp3", "ID3" + std::string(512 * 1024, '\x11'))});
}

struct Prescribed {
  uint64_t pausesMs = 0;
  double stepsMs = 0;  // the same run's device steps, no pauses
  bool success = false;
  std::map<std::string, double> stepMs;  // by operation, all calls together
};

// Times every operation of the device it wraps.
class TimedDevice : public ProductionDevice {
  template <class F>
  auto timed(const char* name, F&& f) -> decltype(f()) {
    auto t0 = Clock::now();
    auto r = f();
    ms_[name] += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return r;
  }

 public:
  TimedDevice(ProductionDevice& inner, std::map<std::string, double>& ms) : in_(inner), ms_(ms) {}

  std::optional<SlotPort> discoverSlot(char d) override {
    return timed("slot discovery", [&] { return in_.discoverSlot(d); });
  }
  bool isTarn(char d) override { return timed("IS_TARN", [&] { return in_.isTarn(d); }); }
  bool writeManagerStart(char d) override {
    return timed("wt_mgr_s", [&] { return in_.writeManagerStart(d); });
  }
  bool writeManager(char d) override { return timed("wt_mgr", [&] { return in_.writeManager(d); }); }
  bool writeManagerEnd(char d) override {
    return timed("wt_mgr_e", [&] { return in_.writeManagerEnd(d); });
  }
  uint32_t readBondingId(char d) override {
    return timed("read_bnd_id", [&] { return in_.readBondingId(d); });
  }
  uint32_t setSystemArea(char d, int u) override {
    return timed("set_sys_area", [&] { return in_.setSystemArea(d, u); });
  }
  uint32_t flashItemCount(char d) override {
    return timed("get_flash_item", [&] { return in_.flashItemCount(d); });
  }
  uint32_t readFlashId(char d) override { return timed("rd_id", [&] { return in_.readFlashId(d); }); }
  std::string identifyFlash(uint32_t id, uint32_t n, int slot) override {
    return timed("flash identification", [&] { return in_.identifyFlash(id, n, slot); });
  }
  bool writeConfigTable(char d, const std::string& p) override {
    return timed("wt_cfg", [&] { return in_.writeConfigTable(d, p); });
  }
  bool badBlockStart(char d) override {
    return timed("chk_bad_s", [&] { return in_.badBlockStart(d); });
  }
  bool blankCheckStart(char d) override {
    return timed("blk_chk_s", [&] { return in_.blankCheckStart(d); });
  }
  bool blankCheckPoll(char d, int slot) override {
    return timed("blk_chk_p", [&] { return in_.blankCheckPoll(d, slot); });
  }
  bool badBlockPoll(char d) override { return timed("chk_bad_p", [&] { return in_.badBlockPoll(d); }); }
  bool writePackageStart(char d, PackageKind k) override {
    return timed("wt_pgr_s", [&] { return in_.writePackageStart(d, k); });
  }
  bool writePackage(char d, PackageKind k) override {
    return timed("wt_pgr", [&] { return in_.writePackage(d, k); });
  }
  bool writePackageEnd(char d) override {
    return timed("wt_pgr_e", [&] { return in_.writePackageEnd(d); });
  }
  bool checkUpdateSuccess(char d) override {
    return timed("chk_update_success", [&] { return in_.checkUpdateSuccess(d); });
  }
  uint32_t sizeMB(char d) override { return timed("get_size_MB", [&] { return in_.sizeMB(d); }); }
  int packageFileIndex(PackageKind k) override { return in_.packageFileIndex(k); }
  std::string readLabel(char d) override {
    return timed("read label", [&] { return in_.readLabel(d); });
  }
  bool isReadable(char d) override {
    return timed("free-space query", [&] { return in_.isReadable(d); });
  }
  bool format(char d, bool fat32, const std::string& label) override {
    return timed("format", [&] { return in_.format(d, fat32, label); });
  }
  bool setLabel(char d, const std::string& label) override {
    return timed("set label", [&] { return in_.setLabel(d, label); });
  }
  bool copyToRoot(const std::string& s, char d, const std::string& n) override {
    return timed("file copy", [&] { return in_.copyToRoot(s, d, n); });
  }
  size_t copyAllToRoot(const std::vector<platform::Volumes::RootCopy>& f, char d) override {
    return timed("file copy", [&] { return in_.copyAllToRoot(f, d); });
  }
  void checkVolume(char d) override {
    timed("volume check", [&] {
      in_.checkVolume(d);
      return 0;
    });
  }

 private:
  ProductionDevice& in_;
  std::map<std::string, double>& ms_;
};

// One run of the station's sequence on a fresh player, pauses counted, not slept.
Prescribed prescribedPauses(StationFolder& folder) {
  Prescribed p;
  if (!folder.create({'Z'}) || !folder.plug('Z')) return p;
  setenv("TARN_SIM", folder.sim().c_str(), 1);
  ModelOptions options;
  options.programFolder = folder.dir().string();
  options.portLogPath = (folder.dir() / "misc" / "bench-dry.log").string();
  StationModel model(options);
  FormShow(model);
  model.rows().occupySlot('Z');
  auto device = makeProductionDevice(model.reporter(), model.runSettings(), systemLauncher(),
                                     platform::makeSimVolumes(folder.sim().string()),
                                     platform::makeSimTopology(folder.sim().string()),
                                     (folder.dir() / "misc").string());
  TimedDevice timed(*device, p.stepMs);
  CountingPauses pauses;
  auto t0 = Clock::now();
  RunOutcome r = runProduction(model.reporter(), model.runSettings(), timed, pauses, 'Z');
  p.stepsMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  p.pausesMs = pauses.total;
  p.success = r.success;
  return p;
}

struct Production {
  double wallMs = 0;
  long peakRssKb = 0;
  int exitCode = -1;
};

// `count` players plugged together into a headless station; from the first plug to the
// last tally.
Production produce(int count) {
  StationFolder folder(kDist, "bench" + std::to_string(count));
  prepare(folder);
  Production out;
  for (int i = 0; i < count; ++i)
    if (!folder.create({kLetters[i]})) return out;
  HeadlessStation station(folder, count);
  if (!station.waitForLine("ready")) return out;
  auto t0 = Clock::now();
  for (int i = 0; i < count; ++i) folder.plug(kLetters[i]);
  std::string done = "counters: total=" + std::to_string(count) + " ";
  bool finished = station.waitForLine(done);
  auto t1 = Clock::now();
  ChildEnd end = station.finish();
  if (!finished) return out;
  out.wallMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
  out.peakRssKb = end.peakRssKb;
  out.exitCode = end.status;
  return out;
}

struct Spread {
  double min = 0, median = 0, max = 0;
};

Spread spread(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return {};
  return {v.front(), v[v.size() / 2], v.back()};
}

// System calls of one devcmd wt_pgr run of a 4 MiB file (2048 chunks of 2 KiB) on a fresh
// simulated player, counted by strace -c -f; 0 when strace is not there.
double systemCallsPerChunk() {
  StationFolder folder(kDist, "bench_calls");
  constexpr size_t kBytes = 4u << 20;
  std::string bytes(kBytes, '\0');
  for (size_t i = 0; i < kBytes; ++i) bytes[i] = static_cast<char>((i * 131) >> 5);
  fs::path file = folder.file("download.bin", bytes);
  if (!folder.create({'E'}) || !folder.plug('E')) return 0;
  setenv("TARN_SIM", folder.sim().c_str(), 1);
  const std::string devcmd = (folder.dir() / "misc" / "devcmd").string();
  if (run({devcmd, "E:", "wt_pgr_s", std::to_string(kBytes)}) != 0) return 0;
  fs::path counts = folder.dir() / "strace.txt";
  if (run({"/usr/bin/strace", "-c", "-f", "-o", counts.string(), devcmd, "E:", "wt_pgr",
           file.string()}) != 0)
    return 0;
  // The summary's last line: "100.00 <seconds> <usecs/call> <calls> <errors> total".
  std::string text = readText(counts), last;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find("total") != std::string::npos) last = line;
  std::istringstream fields(last);
  std::vector<std::string> f;
  for (std::string w; fields >> w;) f.push_back(w);
  if (f.size() < 4) return 0;
  return std::atof(f[3].c_str()) / (kBytes / 2048.0);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 3;
  unsetenv("TARNSIM_LATENCY_MS");  // players answer at once

  Prescribed prescribed;
  {
    StationFolder folder(kDist, "bench_dry");
    prepare(folder);
    prescribed = prescribedPauses(folder);
  }
  if (!prescribed.success || prescribed.pausesMs == 0) {
    std::fprintf(stderr, "station_bench: the reference run did not succeed\n");
    return 1;
  }

  // One and eight in turn first, so that a shared machine's load falls on both alike;
  // round 0 only warms up. Ratios are taken within a round.
  std::vector<double> one, eight, onePerPauses, eightPerOne;
  long peakKb = 0;
  for (int r = 0; r <= rounds; ++r) {
    Production p1, p8;
    if (r % 2 == 0) {
      p1 = produce(1);
      p8 = produce(8);
    } else {
      p8 = produce(8);
      p1 = produce(1);
    }
    if (p1.exitCode != 0 || p8.exitCode != 0) {
      std::fprintf(stderr, "station_bench: a production round failed (exit %d, %d)\n",
                   p1.exitCode, p8.exitCode);
      return 1;
    }
    peakKb = std::max(peakKb, p8.peakRssKb);
    if (r == 0) continue;
    one.push_back(p1.wallMs);
    eight.push_back(p8.wallMs);
    onePerPauses.push_back(p1.wallMs / static_cast<double>(prescribed.pausesMs));
    eightPerOne.push_back(p8.wallMs / p1.wallMs);
  }
  Spread t1 = spread(one), t8 = spread(eight), a = spread(onePerPauses), b = spread(eightPerOne);
  double calls = systemCallsPerChunk();
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);

  std::printf("%d rounds after a warm-up, one and eight in turn first; load average %.2f %.2f %.2f\n",
              rounds, load[0], load[1], load[2]);
  std::printf("prescribed pauses of one run        %8llu ms\n",
              static_cast<unsigned long long>(prescribed.pausesMs));
  std::printf("its device steps without pauses     %8.0f ms (in process)\n", prescribed.stepsMs);
  std::printf("                                         min   median      max\n");
  std::printf("one player, plug to tally (ms)      %8.0f %8.0f %8.0f\n", t1.min, t1.median, t1.max);
  std::printf("eight players, to last tally (ms)   %8.0f %8.0f %8.0f\n", t8.min, t8.median, t8.max);
  std::printf("one player / prescribed pauses      %8.3f %8.3f %8.3f (target <= 1.10)\n", a.min,
              a.median, a.max);
  std::printf("eight players / one player          %8.3f %8.3f %8.3f (target <= 1.25)\n", b.min,
              b.median, b.max);
  if (calls > 0)
    std::printf("system calls per 2 KiB download chunk %6.2f (wt_pgr, 4 MiB; target <= 2)\n", calls);
  else
    std::printf("system calls per 2 KiB download chunk: not counted (no strace)\n");
  std::printf("station peak memory, eight players  %8.1f MB (target <= 80)\n", peakKb / 1024.0);

  std::vector<std::pair<double, std::string>> steps;
  for (const auto& [name, ms] : prescribed.stepMs) steps.emplace_back(ms, name);
  std::sort(steps.rbegin(), steps.rend());
  std::printf("\ndevice steps of the reference run, slowest first:\n");
  for (const auto& [ms, name] : steps) std::printf("  %-22s %7.1f ms\n", name.c_str(), ms);
  return 0;
}

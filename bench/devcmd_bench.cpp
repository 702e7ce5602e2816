// What a devcmd run against a simulated player costs: one run compared with starting a
// trivial program, and the data rate of wt_pgr with a 4 MiB file. Prints figures only.
//
//   devcmd_bench [--runs N] [--downloads N] [--devcmd PATH]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/player_store.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kDownloadBytes = 4u << 20;

double cpuOfLastRun = 0;  // user + system seconds of the last child

// Runs a program to its end with output thrown away; the exit status, or -1.
int run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  struct rusage use {};
  while (wait4(pid, &status, 0, &use) < 0)
    if (errno != EINTR) return -1;
  cpuOfLastRun = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                 double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Figures {
  double min = 0, median = 0;
};

Figures summarize(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2]};
}

// Times `runs` rounds of the commands, taking turns so that a change in the machine's
// load falls on all of them alike; every run must end with its expected status.
bool timeRuns(const std::vector<std::pair<std::vector<std::string>, int>>& cmds, int runs,
              std::vector<Figures>& out) {
  std::vector<std::vector<double>> t(cmds.size());
  for (int i = 0; i < runs; ++i)
    for (size_t c = 0; c < cmds.size(); ++c) {
      auto start = Clock::now();
      int rc = run(cmds[c].first);
      t[c].push_back(seconds(Clock::now() - start));
      if (rc != cmds[c].second) {
        std::fprintf(stderr, "devcmd_bench: %s ended with %d, not %d\n", cmds[c].first[0].c_str(), rc,
                     cmds[c].second);
        return false;
      }
    }
  out.clear();
  for (auto& v : t) out.push_back(summarize(v));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 300, downloads = 15;
  std::string devcmd = DEVCMD_PATH;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--downloads") downloads = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--devcmd") devcmd = argv[i + 1];
    else {
      std::fprintf(stderr, "usage: devcmd_bench [--runs N] [--downloads N] [--devcmd PATH]\n");
      return 2;
    }
  }
  if (::access(devcmd.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "devcmd_bench: no devcmd at %s (build it first)\n", devcmd.c_str());
    return 1;
  }

  char tmpl[] = "/tmp/devcmd-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  std::string error;
  tarnsim::PlayerSpec want;
  want.mode = tarnsim::Mode::Fsm;
  if (!tarnsim::createPlayer(root, 'E', want, error) || !tarnsim::setPlugged(root, 'E', true, error)) {
    std::fprintf(stderr, "devcmd_bench: %s\n", error.c_str());
    return 1;
  }
  ::setenv("TARN_SIM", root.c_str(), 1);
  ::unsetenv("TARNSIM_LATENCY_MS");  // zero latency: the cost of the simulation itself

  const std::string file = root + "/download.bin";
  {
    std::vector<char> bytes(kDownloadBytes);
    uint32_t x = 12345;
    for (auto& b : bytes) x = x * 1103515245 + 12345, b = char(x >> 24);
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }

  int failed = 0;
  std::vector<Figures> f;
  bool ok = timeRuns({{{"/bin/true"}, 0}, {{devcmd}, 1}, {{devcmd, "E:", "IS_TARN"}, 1}, {{devcmd, "E:"}, 226}},
                     runs, f);
  if (ok) {
    const char* names[] = {"/bin/true", "devcmd (usage only)", "devcmd E: IS_TARN", "devcmd E: (probe)"};
    std::printf("process start and end, %d runs each, taking turns (min / median, ratio to /bin/true):\n", runs);
    for (size_t i = 0; i < f.size(); ++i) {
      std::printf("  %-22s %7.3f / %7.3f ms", names[i], f[i].min * 1e3, f[i].median * 1e3);
      if (i) std::printf("   ratio %.2f / %.2f", f[i].min / f[0].min, f[i].median / f[0].median);
      std::printf("%s\n", i == 2 ? ", target <= 2" : "");
    }
  } else {
    ++failed;
  }

  std::vector<double> t, cpu;
  const std::string size = std::to_string(kDownloadBytes);
  for (int i = 0; i < downloads && !failed; ++i) {
    if (run({devcmd, "E:", "wt_pgr_s", size}) != 0) ++failed;
    auto start = Clock::now();
    if (run({devcmd, "E:", "wt_pgr", file}) != 0) ++failed;
    t.push_back(seconds(Clock::now() - start));
    cpu.push_back(cpuOfLastRun);
    if (run({devcmd, "E:", "wt_pgr_e"}) != 0) ++failed;
  }
  if (!failed) {
    Figures d = summarize(t), c = summarize(cpu);
    std::printf("wt_pgr of a 4 MiB file (2049 chunk requests), %d downloads:\n", downloads);
    std::printf("  time                    %7.3f / %7.3f ms (min / median)\n", d.min * 1e3, d.median * 1e3);
    std::printf("  rate                    %7.1f / %7.1f MB/s (best / median), target >= 200\n",
                kDownloadBytes / 1e6 / d.min, kDownloadBytes / 1e6 / d.median);
    // On a busy machine the wall clock also counts time spent waiting for a core.
    std::printf("  processor time          %7.3f / %7.3f ms -> %.1f MB/s (median)\n", c.min * 1e3,
                c.median * 1e3, kDownloadBytes / 1e6 / std::max(c.median, 1e-6));
  } else {
    std::fprintf(stderr, "devcmd_bench: the download failed\n");
  }
  fs::remove_all(root);
  return failed ? 1 : 0;
}

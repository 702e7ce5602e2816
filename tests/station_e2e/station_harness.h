// A station folder of its own (mpstation, tarnsim, misc/ with devcmd and the data files),
// simulated players beside it, and the headless station run as a child whose printed
// lines are read while it runs. Shared by the end-to-end tests and the station benchmark.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace station::e2e {

namespace fs = std::filesystem;

inline std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeText(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

struct ChildEnd {
  int status = -1;      // the exit code, or 128 + signal
  long peakRssKb = 0;   // the child's own peak resident size
};

// Starts `argv` with its standard output and error to `out`; -1 when it cannot start.
// Standard input is /dev/null, or `input` when given.
inline pid_t spawn(const std::vector<std::string>& argv, const fs::path& out,
                   const fs::path& cwd = {}, int input = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (input >= 0)
    posix_spawn_file_actions_adddup2(&actions, input, 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

inline ChildEnd waitChild(pid_t pid) {
  ChildEnd end;
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) return end;
  end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  end.peakRssKb = usage.ru_maxrss;
  return end;
}

// Runs a program to its end; its output in `output`.
inline int run(const std::vector<std::string>& argv, std::string* output = nullptr) {
  fs::path out = fs::temp_directory_path() /
                 ("tarn_e2e_out_" + std::to_string(getpid()) + "_" +
                  std::to_string(std::random_device{}()));
  pid_t pid = spawn(argv, out);
  int status = pid < 0 ? -1 : waitChild(pid).status;
  if (output) *output = readText(out);
  fs::remove(out);
  return status;
}

struct PlayerSpec {
  char letter;
  unsigned capacityMib = 256;
  std::string flashId = "ECD35195";
  int bonding = 1;
  unsigned latencyMs = 0;
};

// A program.bin whose marker says it was built for `variant`.
inline std::string firmwareImage(int variant, size_t size = 64 * 1024) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  const unsigned char marker[5] = {0x70, 0x08, 0xA5, 0x5A, static_cast<unsigned char>(variant)};
  for (int i = 0; i < 5; ++i) bytes[8192 + i] = static_cast<char>(marker[i]);
  return bytes;
}

class StationFolder {
 public:
  // `dist`: the built ready-to-run folder.
  StationFolder(const fs::path& dist, const std::string& name) : dist_(dist) {
    root_ = fs::temp_directory_path() /
            ("tarn_" + name + "_" + std::to_string(getpid()) + "_" +
             std::to_string(std::random_device{}() % 1000000));
    fs::remove_all(root_);
    dir_ = root_ / "station";
    sim_ = root_ / "players";
    files_ = root_ / "files";
    fs::create_directories(dir_ / "misc");
    fs::create_directories(sim_);
    fs::create_directories(files_);
    for (const char* program : {"mpstation", "tarnsim"})
      fs::copy_file(dist / program, dir_ / program, fs::copy_options::overwrite_existing);
    for (const auto& e : fs::directory_iterator(dist / "misc")) {
      std::string n = e.path().filename().string();
      // What a station writes there is its own, not the build's.
      if (n == "prefer.ini" || n == "seting.ini" || n == "port.log" || !e.is_regular_file())
        continue;
      fs::copy_file(e.path(), dir_ / "misc" / n, fs::copy_options::overwrite_existing);
    }
  }
  ~StationFolder() {
    if (!std::getenv("TARN_KEEP")) {
      std::error_code ec;
      fs::remove_all(root_, ec);
    }
  }
  StationFolder(const StationFolder&) = delete;
  StationFolder& operator=(const StationFolder&) = delete;

  const fs::path& dir() const { return dir_; }
  const fs::path& sim() const { return sim_; }
  const fs::path& files() const { return files_; }

  // misc/prefer.ini with the production switches (keys of MP_Setting).
  void settings(const std::map<std::string, std::string>& mp) {
    std::string text = "[MP_Setting]\r\n";
    for (const auto& [k, v] : mp) text += k + "=" + v + "\r\n";
    writeText(dir_ / "misc" / "prefer.ini", text);
  }

  // An operator's file in the files folder; gives its full path.
  fs::path file(const std::string& name, const std::string& bytes) {
    writeText(files_ / name, bytes);
    return files_ / name;
  }

  // misc/seting.ini: the copy list.
  void copyList(const std::vector<fs::path>& entries) {
    std::string text;
    for (const auto& e : entries) text += e.string() + "\r\n";
    writeText(dir_ / "misc" / "seting.ini", text);
  }

  int tarnsim(std::vector<std::string> args, std::string* output = nullptr) const {
    args.insert(args.begin(), (dir_ / "tarnsim").string());
    return run(args, output);
  }

  bool create(const PlayerSpec& p) const {
    return tarnsim({"create", sim_.string(), std::string(1, p.letter), "--capacity",
                    std::to_string(p.capacityMib), "--flash-id", p.flashId, "--bonding",
                    std::to_string(p.bonding), "--latency-ms", std::to_string(p.latencyMs)}) == 0;
  }
  bool plug(char letter) const {
    return tarnsim({"plug", sim_.string(), std::string(1, letter)}) == 0;
  }
  bool unplug(char letter) const {
    return tarnsim({"unplug", sim_.string(), std::string(1, letter)}) == 0;
  }
  fs::path volume(char letter) const { return sim_ / std::string(1, letter) / "volume.img"; }
  std::string portLog() const { return readText(dir_ / "misc" / "port.log"); }

 private:
  fs::path dist_, root_, dir_, sim_, files_;
};

// mpstation --headless on the folder's players, its printed lines read as they come.
class HeadlessStation {
 public:
  // `extra`: more of the station's options (real devices, test devices). `typed`: its
  // standard input is a pipe that stays open until the station object goes (as a shell
  // pipe from a program still running), with commands written through type(). Not
  // `simulated`: the station on real players alone, as in production. Not `headless`: the
  // station with its window (which prints only "ready").
  HeadlessStation(const StationFolder& folder, int runs, int timeoutSeconds = 300,
                  const std::vector<std::string>& extra = {}, bool typed = false,
                  bool simulated = true, bool headless = true)
      : out_(folder.dir() / "headless.out") {
    std::vector<std::string> argv = {(folder.dir() / "mpstation").string(), "--runs", std::to_string(runs),
                                     "--timeout", std::to_string(timeoutSeconds)};
    if (headless) argv.insert(argv.begin() + 1, "--headless");
    if (simulated) argv.insert(argv.begin() + 1, {"--sim", folder.sim().string()});
    argv.insert(argv.end(), extra.begin(), extra.end());
    int ends[2] = {-1, -1};
    if (typed && pipe2(ends, O_CLOEXEC) != 0) return;
    pid_ = spawn(argv, out_, folder.dir(), ends[0]);
    if (typed) {
      close(ends[0]);
      input_ = ends[1];
    }
  }
  ~HeadlessStation() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitChild(pid_);
    }
    if (input_ >= 0) close(input_);
  }

  bool type(const std::string& command) const {
    std::string line = command + "\n";
    return input_ >= 0 && write(input_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  }

  bool started() const { return pid_ > 0; }

  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::istringstream in(readText(out_));
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }

  // Waits until a printed line satisfies `pred` or the station ends; false when it ended
  // (or `limit` passed) first. The limit only keeps a broken station from hanging a test.
  bool waitFor(const std::function<bool(const std::string&)>& pred,
               std::chrono::seconds limit = std::chrono::seconds(120)) {
    auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
      for (const auto& l : lines())
        if (pred(l)) return true;
      if (ended_ || std::chrono::steady_clock::now() > until) return false;
      int status = 0;
      struct rusage usage {};
      if (wait4(pid_, &status, WNOHANG, &usage) == pid_) {
        ended_ = true;
        end_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        end_.peakRssKb = usage.ru_maxrss;
        continue;  // one more look at what it printed last
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  bool waitForLine(const std::string& part) {
    return waitFor([&](const std::string& l) { return l.find(part) != std::string::npos; });
  }

  void signal(int sig) const { kill(pid_, sig); }

  // True when the station ended within `limit`; a station still running then is stuck.
  bool endsWithin(std::chrono::seconds limit) {
    waitFor([](const std::string&) { return false; }, limit);
    return ended_;
  }

  ChildEnd finish() {
    if (!ended_) {
      end_ = waitChild(pid_);
      ended_ = true;
    }
    return end_;
  }

 private:
  fs::path out_;
  pid_t pid_ = -1;
  int input_ = -1;
  bool ended_ = false;
  ChildEnd end_;
};

}  // namespace station::e2e

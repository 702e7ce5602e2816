// devcmd against simulated players, as separate processes: players made with tarnsim,
// devcmd run with TARN_SIM, results read from DEVCMD_RESULT_FD (all 32 bits) and what
// the player received read back with `tarnsim trace`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kDevcmd = std::string(TARN_DIST_DIR) + "/misc/devcmd";
const std::string kTarnsim = std::string(TARN_DIST_DIR) + "/tarnsim";

struct Ran {
  int status = -1;      // exit status (8 bits on this platform)
  int64_t result = -1;  // the whole value from DEVCMD_RESULT_FD, -1 when none came
  std::string out;
  std::string err;
};

std::string drain(int fd) {
  std::string s;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) s.append(buf, size_t(n));
  ::close(fd);
  return s;
}

// Runs a program with extra environment; stdout, stderr and descriptor 3 are captured
// through files so that no pipe can fill up. Everything the child needs is prepared
// before fork(): other threads may be running.
Ran run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
  char dir[] = "/tmp/sim-devcmd-run-XXXXXX";
  if (!::mkdtemp(dir)) return {};
  std::string outPath = std::string(dir) + "/out", errPath = std::string(dir) + "/err",
              resPath = std::string(dir) + "/res";
  std::map<std::string, std::string> vars = env;
  vars["DEVCMD_RESULT_FD"] = "3";
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e, key = kv.substr(0, kv.find('='));
    if (!vars.count(key) && key != "TARNSIM_LATENCY_MS") envText.push_back(kv);
  }
  for (auto& [k, v] : vars) envText.push_back(k + "=" + v);
  std::vector<char*> envp, argv;
  for (auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    int res = ::open(resPath.c_str(), O_WRONLY | O_CREAT, 0600);
    ::dup2(out, 1), ::dup2(err, 2), ::dup2(res, 3);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  Ran r;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = drain(::open(outPath.c_str(), O_RDONLY));
  r.err = drain(::open(errPath.c_str(), O_RDONLY));
  std::string res = drain(::open(resPath.c_str(), O_RDONLY));
  if (!res.empty()) r.result = std::strtoll(res.c_str(), nullptr, 10);
  fs::remove_all(dir);
  return r;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::string hex2(unsigned v) {
  char b[4];
  std::snprintf(b, sizeof b, "%02X", v & 255);
  return b;
}

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 31 + seed + (i >> 9));
  return b;
}

unsigned sum16(const std::vector<uint8_t>& b) {
  unsigned s = 0;
  for (uint8_t x : b) s += x;
  return s % 65536;
}

// The trace lines of one chunked file: n / 2048 + 1 data-out requests.
std::vector<std::string> chunkLines(const std::string& cdb, size_t n) {
  std::vector<std::string> lines(n / 2048, cdb + " out 2048");
  lines.push_back(cdb + " out " + std::to_string(n % 2048));
  return lines;
}

std::string sizeCdb(const char* op, uint32_t n) {
  return std::string("EF ") + op + " " + hex2(n >> 24) + " " + hex2(n >> 16) + " " + hex2(n >> 8) +
         " " + hex2(n);
}

class SimDevcmd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(kDevcmd.c_str(), X_OK) != 0) GTEST_SKIP() << "no devcmd at " << kDevcmd;
    ASSERT_EQ(::access(kTarnsim.c_str(), X_OK), 0) << kTarnsim;
    char tmpl[] = "/tmp/sim-devcmd-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
  }
  void TearDown() override {
    if (!root.empty()) fs::remove_all(root);
  }

  Ran tarnsim(std::vector<std::string> args) {
    args.insert(args.begin(), kTarnsim);
    return run(args, {});
  }
  // A plugged player; `options` as tarnsim create takes them.
  void player(const std::string& letter, std::vector<std::string> options = {}) {
    std::vector<std::string> args = {"create", root, letter};
    args.insert(args.end(), options.begin(), options.end());
    Ran c = tarnsim(args);
    ASSERT_EQ(c.status, 0) << c.err;
    Ran p = tarnsim({"plug", root, letter});
    ASSERT_EQ(p.status, 0) << p.err;
  }
  Ran devcmd(const std::string& drive, std::vector<std::string> args = {}) {
    args.insert(args.begin(), drive);
    args.insert(args.begin(), kDevcmd);
    return run(args, {{"TARN_SIM", root}});
  }
  std::vector<std::string> trace(const std::string& letter) {
    Ran t = tarnsim({"trace", root, letter});
    EXPECT_EQ(t.status, 0) << t.err;
    return linesOf(t.out);
  }
  std::map<std::string, std::string> show(const std::string& letter) {
    Ran s = tarnsim({"show", root, letter});
    EXPECT_EQ(s.status, 0) << s.err;
    std::map<std::string, std::string> kv;
    for (auto& l : linesOf(s.out)) kv[l.substr(0, l.find('='))] = l.substr(l.find('=') + 1);
    return kv;
  }
  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = root + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
    return path;
  }
  std::vector<std::string> events() {
    std::ifstream in(root + "/events");
    std::stringstream s;
    s << in.rdbuf();
    return linesOf(s.str());
  }

  std::string root;
};

// ---------------------------------------------------------------------------------------

TEST_F(SimDevcmd, ProbeClassifiesEachMode) {
  const std::pair<const char*, int64_t> cases[] = {
      {"rom", 225}, {"firmware", 225}, {"update", 225}, {"fsm", 226}, {"generic", 227}};
  char letter = 'E';
  for (auto [mode, cls] : cases) {
    std::string l(1, letter++);
    player(l, {"--mode", mode});
    Ran r = devcmd(l + ":");
    EXPECT_EQ(r.result, cls) << mode;
    EXPECT_EQ(r.status, cls) << mode;
    char val[32];
    std::snprintf(val, sizeof val, "val = 0x%x", unsigned(cls));
    EXPECT_EQ(r.out, val) << mode;
    EXPECT_EQ(trace(l), (std::vector<std::string>{"EF 04 00 00 80 01 in 1", "12 00 00 00 00 00 in 36"}))
        << mode;
  }
}

TEST_F(SimDevcmd, AbsentOrUnpluggedDriveFailsToOpen) {
  ASSERT_EQ(tarnsim({"create", root, "F"}).status, 0);  // made but never plugged
  player("G");
  ASSERT_EQ(tarnsim({"unplug", root, "G"}).status, 0);
  for (const char* drive : {"Q:", "F:", "G:"}) {
    for (std::vector<std::string> args : {std::vector<std::string>{}, {"IS_TARN"}, {"rd_id"}}) {
      Ran r = devcmd(drive, args);
      EXPECT_EQ(r.status, 1) << drive;
      EXPECT_EQ(r.result, 1) << drive;
      EXPECT_EQ(r.out, std::string("CreateFile, Error opening ") + drive + ". Error: 2\n");
    }
  }
  EXPECT_TRUE(trace("F").empty());
  EXPECT_TRUE(trace("G").empty());
}

TEST_F(SimDevcmd, QueriesAnswerWithThePlayersIdentity) {
  player("E", {"--mode", "fsm", "--flash-id", "98DA0015", "--items", "2", "--bonding", "7",
               "--capacity", "1928"});
  player("F", {"--mode", "update", "--capacity", "129"});
  player("G", {"--flash-id", "ecd35195"});
  struct Case {
    const char* drive;
    std::vector<std::string> args;
    int64_t result;
    const char* traced;
  } cases[] = {
      {"E:", {"rd_id"}, 0x98DA0015, "EF 70 00 00 00 00 in 5"},
      {"G:", {"rd_id"}, 3973271957, "EF 70 00 00 00 00 in 5"},
      {"E:", {"get_flash_item"}, 2, "EF 84 00 00 00 00 in 1"},
      {"E:", {"read_bnd_id"}, 7, "EF 8B 00 00 00 00 in 1"},
      {"E:", {"get_size_MB"}, 1928, "25 00 00 00 00 00 in 8"},
      {"F:", {"get_size_MB"}, 129, "25 00 00 00 00 00 in 8"},
      {"E:", {"IS_TARN"}, 1, "EF 85 00 00 00 00 in 4"},
      {"F:", {"IS_TARN"}, 1, "EF 85 00 00 00 00 in 4"},
      {"G:", {"IS_TARN"}, 0, "EF 85 00 00 00 00 in 4"},
      {"E:", {"chk_is_updatedisk"}, 1, "EF 82 00 00 00 00 in 4"},
      {"F:", {"chk_is_updatedisk"}, 0, "EF 82 00 00 00 00 in 4"},
      {"E:", {"set_sys_area", "3"}, 0, "EF 83 03 00 00 00 in 1"},
      {"E:", {"q_1st_burn"}, 1, "EF 80 00 00 00 00 in 1"},
      {"E:", {"chk_update_success"}, 1, "EF 87 00 00 00 00 in 2"},
      {"E:", {"get_lcd_size"}, 0x00800040, "EF 86 00 00 00 00 in 4"},
      {"E:", {"reset"}, 0x98DA0015, "EF 7F 00 00 00 00 in 5"},
  };
  for (const Case& c : cases) {
    std::string what = std::string(c.drive) + " " + c.args[0];
    std::string letter(1, c.drive[0]);
    size_t before = trace(letter).size();
    Ran r = devcmd(c.drive, c.args);
    EXPECT_EQ(r.result, c.result) << what << "\n" << r.out;
    auto t = trace(letter);
    ASSERT_EQ(t.size(), before + 1) << what;
    EXPECT_EQ(t.back(), c.traced) << what;
  }
  EXPECT_EQ(show("E")["sys_area"], "3");
}

TEST_F(SimDevcmd, LeavingTheUpdateDiskComesBackAsAnArrival) {
  player("F", {"--mode", "update"});
  EXPECT_EQ(devcmd("F:", {"chk_is_updatedisk"}).result, 0);
  Ran r = devcmd("F:", {"2st_reset"});
  EXPECT_EQ(r.result, 3973271957);
  EXPECT_EQ(events(), (std::vector<std::string>{"1 plug F", "2 unplug F", "3 plug F"}));
  EXPECT_EQ(devcmd("F:", {"chk_is_updatedisk"}).result, 1);
  EXPECT_EQ(devcmd("F:").result, 225);
  EXPECT_EQ(show("F")["mode"], "firmware");
}


TEST_F(SimDevcmd, WholeManagerDownloadStartsTheManager) {
  for (size_t size : {size_t(40960), size_t(5000), size_t(4096), size_t(0)}) {
    SCOPED_TRACE(size);
    std::string l = size == 40960 ? "E" : size == 5000 ? "F" : size == 4096 ? "G" : "H";
    player(l);
    auto bytes = pattern(size, uint8_t(size));
    std::string path = file("fsm" + l + ".bin", bytes);
    EXPECT_EQ(devcmd(l + ":", {"IS_TARN"}).result, 0);
    EXPECT_EQ(devcmd(l + ":", {"wt_mgr_s", std::to_string(size)}).result, 0);
    EXPECT_EQ(devcmd(l + ":", {"wt_mgr", path}).result, 0);
    unsigned sum = sum16(bytes);
    EXPECT_EQ(devcmd(l + ":", {"wt_mgr_e", std::to_string(sum)}).result, 0);
    EXPECT_EQ(devcmd(l + ":").result, 226);
    EXPECT_EQ(devcmd(l + ":", {"IS_TARN"}).result, 1);

    std::vector<std::string> want = {"EF 85 00 00 00 00 in 4", sizeCdb("77", uint32_t(size)) + " in 1"};
    for (auto& c : chunkLines("EE 78 00 00 00 00", size)) want.push_back(c);
    want.push_back("EF 79 " + hex2(sum >> 8) + " " + hex2(sum) + " 00 00 in 1");
    want.insert(want.end(), {"EF 04 00 00 80 01 in 1", "12 00 00 00 00 00 in 36", "EF 85 00 00 00 00 in 4"});
    EXPECT_EQ(trace(l), want);
    auto kv = show(l);
    EXPECT_EQ(kv["mode"], "fsm");
    EXPECT_EQ(kv["mgr_size"], std::to_string(size));
    EXPECT_EQ(kv["mgr_checksum"], std::to_string(sum));
  }
}

TEST_F(SimDevcmd, ConfigurationTableIsSentInChunks) {
  player("E", {"--mode", "fsm"});
  for (size_t size : {size_t(5000), size_t(4096), size_t(0)}) {
    auto bytes = pattern(size, 7);
    size_t before = trace("E").size();
    EXPECT_EQ(devcmd("E:", {"wt_cfg", file("cfg.txt", bytes)}).result, 0);
    auto t = trace("E");
    EXPECT_EQ(std::vector<std::string>(t.begin() + long(before), t.end()), chunkLines("EE 71 00 00 00 00", size));
    auto kv = show("E");
    EXPECT_EQ(kv["cfg_size"], std::to_string(size));
    EXPECT_EQ(kv["cfg_checksum"], std::to_string(sum16(bytes)));
  }
  EXPECT_EQ(show("E")["cfg_tables"], "3");
  Ran missing = devcmd("E:", {"wt_cfg", root + "/nosuch.txt"});
  EXPECT_EQ(missing.result, 1);
  EXPECT_EQ(missing.out, "Can not open file\n");
}

TEST_F(SimDevcmd, PackagesAreWrittenInOrder) {
  player("E", {"--mode", "fsm"});
  const std::vector<uint8_t> files[] = {pattern(200000, 1), pattern(8192, 2), pattern(4100, 3)};
  std::vector<std::string> want;
  for (size_t i = 0; i < 3; ++i) {
    std::string path = file("pkg" + std::to_string(i), files[i]);
    uint32_t n = uint32_t(files[i].size());
    EXPECT_EQ(devcmd("E:", {"wt_pgr_s", std::to_string(n)}).result, 0);
    EXPECT_EQ(devcmd("E:", {"wt_pgr", path}).result, 0);
    EXPECT_EQ(devcmd("E:", {"wt_pgr_e"}).result, 0);
    want.push_back(sizeCdb("7A", n) + " in 1");
    for (auto& c : chunkLines("EE 7B 00 00 00 00", n)) want.push_back(c);
    want.push_back("EF 7C 00 00 00 00 in 1");
  }
  EXPECT_EQ(devcmd("E:", {"chk_update_success"}).result, 0);
  want.push_back("EF 87 00 00 00 00 in 2");
  EXPECT_EQ(trace("E"), want);
  auto kv = show("E");
  EXPECT_EQ(kv["packages"], "3");
  for (size_t i = 0; i < 3; ++i) {
    std::string k = "package" + std::to_string(i + 1);
    EXPECT_EQ(kv[k + "_size"], std::to_string(files[i].size()));
    EXPECT_EQ(kv[k + "_checksum"], std::to_string(sum16(files[i])));
  }
}

TEST_F(SimDevcmd, BlankingCheckIsPolledToCompletion) {
  player("E", {"--mode", "fsm"});
  player("F", {"--mode", "fsm", "--check-polls", "2"});
  struct Case {
    const char* drive;
    std::vector<int64_t> polls;
  } cases[] = {{"E:", {6400, 12800, 19200, 25601, 25601}}, {"F:", {12800, 25601}}};
  for (const Case& c : cases) {
    std::string l(1, c.drive[0]);
    EXPECT_EQ(devcmd(c.drive, {"blk_chk_p"}).result, 1) << "nothing started";
    EXPECT_EQ(devcmd(c.drive, {"blk_chk_s", "4", "1024"}).result, 0);
    std::vector<std::string> want = {"EF 75 00 00 00 00 in 2", "EF 74 00 04 04 00 in 1"};
    for (int64_t code : c.polls) {
      Ran p = devcmd(c.drive, {"blk_chk_p"});
      EXPECT_EQ(p.result, code) << l;
      char line[32];
      std::snprintf(line, sizeof line, "ret=%d, %d\n", int(code & 255), int(code >> 8));
      EXPECT_EQ(p.out, line);
      want.push_back("EF 75 00 00 00 00 in 2");
    }
    EXPECT_EQ(trace(l), want);
  }
}

TEST_F(SimDevcmd, BadBlockCheckStartsAndPolls) {
  player("E", {"--mode", "fsm"});
  EXPECT_EQ(devcmd("E:", {"chk_bad_s", "4", "4096"}).result, 0);
  EXPECT_EQ(devcmd("E:", {"chk_bad_p"}).result, 6400);
  EXPECT_EQ(trace("E"), (std::vector<std::string>{"EF 72 00 00 00 00 in 1", "EF 73 00 00 00 00 in 2"}));
  EXPECT_EQ(show("E")["bad_check"], "running");
}

TEST_F(SimDevcmd, FaultFailsExactlyThatStep) {
  player("E", {"--mode", "fsm"});
  ASSERT_EQ(tarnsim({"fault", root, "E", "wt_pgr_e", "--after", "1"}).status, 0);
  std::string a = file("a.bin", pattern(3000, 1)), b = file("b.bin", pattern(3000, 2));
  std::vector<int64_t> results;
  for (const std::string& f : {a, b}) {
    results.push_back(devcmd("E:", {"wt_pgr_s", "3000"}).result);
    results.push_back(devcmd("E:", {"wt_pgr", f}).result);
    Ran end = devcmd("E:", {"wt_pgr_e"});
    results.push_back(end.result);
    if (end.result != 0) {
      EXPECT_EQ(end.out, "cmd_bWriteProgramEnd, error: 1117  \n");
    }
  }
  EXPECT_EQ(results, (std::vector<int64_t>{0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(devcmd("E:", {"IS_TARN"}).result, 1) << "other requests go on";
  EXPECT_EQ(show("E")["packages"], "1");
}

TEST_F(SimDevcmd, FaultInTheDataStopsTheRun) {
  player("E", {"--mode", "fsm"});
  ASSERT_EQ(tarnsim({"fault", root, "E", "cmd_bWriteProgram", "--after", "2"}).status, 0);
  EXPECT_EQ(devcmd("E:", {"wt_pgr_s", "10000"}).result, 0);
  Ran r = devcmd("E:", {"wt_pgr", file("p.bin", pattern(10000, 4))});
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.out, "cmd_bWriteProgram, error: 1117  \n");
  auto t = trace("E");
  EXPECT_EQ(t, (std::vector<std::string>{sizeCdb("7A", 10000) + " in 1", "EE 7B 00 00 00 00 out 2048",
                                         "EE 7B 00 00 00 00 out 2048", "EE 7B 00 00 00 00 out 2048"}));
  EXPECT_EQ(devcmd("E:", {"wt_pgr_e"}).result, 1);
}

TEST_F(SimDevcmd, VanishingPlayerIsGoneForLaterRuns) {
  player("E");
  ASSERT_EQ(tarnsim({"fault", root, "E", "wt_mgr", "--after", "1", "--vanish"}).status, 0);
  EXPECT_EQ(devcmd("E:", {"wt_mgr_s", "5000"}).result, 0);
  Ran r = devcmd("E:", {"wt_mgr", file("fsm.bin", pattern(5000, 1))});
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.out, "cmd_bWriteFlashMgr, error: 1167  \n");
  EXPECT_EQ(trace("E").size(), 3u) << "the start, one chunk and the one that met no player";
  Ran later = devcmd("E:", {"IS_TARN"});
  EXPECT_EQ(later.result, 1);
  EXPECT_EQ(later.out, "CreateFile, Error opening E:. Error: 2\n");
  EXPECT_EQ(events(), (std::vector<std::string>{"1 plug E", "2 unplug E"}));
  EXPECT_EQ(show("E")["plugged"], "0");
  // Plugged in again it is a new arrival, without the fault and without the manager.
  ASSERT_EQ(tarnsim({"plug", root, "E"}).status, 0);
  EXPECT_EQ(devcmd("E:").result, 225);
  EXPECT_EQ(devcmd("E:", {"IS_TARN"}).result, 0);
}

// Eight players produced at once, and on one of them a download while other runs
// query it: every run gets its own answer and nothing is lost or torn.
TEST_F(SimDevcmd, ConcurrentRunsKeepEveryPlayerWhole) {
  const std::string letters = "EFGHIJKL";
  for (char c : letters) player(std::string(1, c));
  auto mgr = pattern(30000, 9);
  std::string mgrPath = file("fsm.bin", mgr);
  std::vector<std::thread> threads;
  std::vector<std::string> failures(letters.size());
  for (size_t i = 0; i < letters.size(); ++i)
    threads.emplace_back([&, i] {
      std::string d = std::string(1, letters[i]) + ":";
      auto expect = [&](std::vector<std::string> args, int64_t want) {
        int64_t got = devcmd(d, args).result;
        if (got != want) failures[i] += args[0] + " gave " + std::to_string(got) + "; ";
      };
      expect({"wt_mgr_s", std::to_string(mgr.size())}, 0);
      expect({"wt_mgr", mgrPath}, 0);
      expect({"wt_mgr_e", std::to_string(sum16(mgr))}, 0);
      expect({"wt_pgr_s", std::to_string(mgr.size())}, 0);
      expect({"wt_pgr", mgrPath}, 0);
      expect({"wt_pgr_e"}, 0);
    });
  // Queries racing the download on E.
  for (int q = 0; q < 3; ++q)
    threads.emplace_back([&] {
      for (int k = 0; k < 15; ++k) {
        int64_t got = devcmd("E:", {"get_flash_item"}).result;
        if (got != 1) failures[0] += "get_flash_item gave " + std::to_string(got) + "; ";
      }
    });
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < letters.size(); ++i) {
    EXPECT_EQ(failures[i], "") << letters[i];
    auto kv = show(std::string(1, letters[i]));
    EXPECT_EQ(kv["mgr_checksum"], std::to_string(sum16(mgr))) << letters[i];
    EXPECT_EQ(kv["package1_checksum"], std::to_string(sum16(mgr))) << letters[i];
    auto t = trace(std::string(1, letters[i]));
    size_t chunks = mgr.size() / 2048 + 1;
    EXPECT_EQ(t.size(), 2 * (chunks + 2) + (i == 0 ? 45 : 0)) << letters[i];
    EXPECT_EQ(kv["requests"], std::to_string(t.size())) << letters[i];
  }
}

// ---------------------------------------------------------------------------------------
// tarnsim's own command line.

TEST_F(SimDevcmd, TarnsimRejectsBadInput) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{}, 2, "usage:"},
      {{"frobnicate", root, "E"}, 2, "unknown command frobnicate"},
      {{"create", root}, 2, "create wants ROOT LETTER"},
      {{"create", root, "EE"}, 2, "not a drive letter: EE"},
      {{"create", root, "E", "--mode", "flash"}, 2, "--mode wants"},
      {{"create", root, "E", "--flash-id", "ECD351"}, 2, "--flash-id wants 8 hex digits"},
      {{"create", root, "E", "--flash-id", "ECD3519G"}, 2, "--flash-id wants 8 hex digits"},
      {{"create", root, "E", "--items", "256"}, 2, "--items wants 0..255"},
      {{"create", root, "E", "--capacity", "0"}, 2, "--capacity wants"},
      {{"create", root, "E", "--capacity"}, 2, "--capacity needs a value"},
      {{"create", root, "E", "--colour", "red"}, 2, "unknown option --colour"},
      {{"plug", root, "E", "extra"}, 2, "unexpected argument extra"},
      {{"fault", root, "E"}, 2, "fault wants ROOT LETTER REQUEST"},
      {{"plug", root, "E"}, 1, "no player E"},
      {{"show", root, "E"}, 1, "no player E"},
      {{"fault", root, "E", "wt_pgr"}, 1, "no player E"},
  };
  for (const Case& c : cases) {
    std::string what;
    for (auto& a : c.args) what += a + " ";
    Ran r = tarnsim(c.args);
    EXPECT_EQ(r.status, c.status) << what;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << what << "\n" << r.err;
  }
  EXPECT_FALSE(fs::exists(root + "/E"));
  player("E");
  Ran again = tarnsim({"create", root, "E"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos);
  Ran unknown = tarnsim({"fault", root, "E", "wt_pgrx"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("unknown request: wt_pgrx"), std::string::npos);
  EXPECT_EQ(tarnsim({"--help"}).status, 0);
}

TEST_F(SimDevcmd, TarnsimShowsAFreshPlayer) {
  ASSERT_EQ(tarnsim({"create", root, "e:", "--port-code=4402123", "--latency-ms", "0"}).status, 0);
  Ran s = tarnsim({"show", root, "E"});
  ASSERT_EQ(s.status, 0);
  auto lines = linesOf(s.out);
  std::vector<std::string> head(lines.begin(), lines.begin() + 18);
  EXPECT_EQ(head, (std::vector<std::string>{
                      "letter=E", "mode=rom", "plugged=0", "flash_id=ECD35195", "items=1", "bonding=1",
                      "capacity_mib=256", "port_code=4402123", "latency_ms=0", "check_polls=4",
                      "sys_area=0", "cfg_size=0", "cfg_checksum=0", "cfg_tables=0", "mgr_written=0",
                      "mgr_size=0", "mgr_checksum=0", "packages=0"}));
  EXPECT_EQ(fs::file_size(root + "/E/volume.img"), 256u << 20);
}

}  // namespace

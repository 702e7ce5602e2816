#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "sim/player_store.h"
#include "support/scratch.h"

namespace tarnsim {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

class PlayerStore : public ::testing::Test {
 protected:
  void SetUp() override {
    root = tarn::testing::freshScratchDir("tarnsim-store").string();
  }
  void TearDown() override { fs::remove_all(root); }

  void make(char letter, PlayerSpec want = {}, bool plug = true) {
    std::string error;
    ASSERT_TRUE(createPlayer(root, letter, want, error)) << error;
    if (plug) {
      ASSERT_TRUE(setPlugged(root, letter, true, error)) << error;
    }
  }
  PlayerState state(char letter) {
    PlayerState s;
    std::string error;
    EXPECT_TRUE(readState(root, letter, s, error)) << error;
    return s;
  }
  std::map<std::string, std::string> shown(char letter) {
    std::vector<std::string> lines;
    std::string error;
    EXPECT_TRUE(showPlayer(root, letter, lines, error)) << error;
    std::map<std::string, std::string> kv;
    for (auto& l : lines) kv[l.substr(0, l.find('='))] = l.substr(l.find('=') + 1);
    return kv;
  }
  std::vector<std::string> events() { return linesOf(slurp(fs::path(root) / "events")); }

  std::string root;
};

// One request through the on-disk store, as devcmd's drive sends it.
struct Sent {
  bool ok;
  uint32_t error;
  std::vector<uint8_t> reply;
};

Sent send(PlayerFiles& f, std::vector<uint8_t> cdb, uint32_t length, const uint8_t* out = nullptr) {
  Sent s{false, 0, std::vector<uint8_t>(length, 0xCC)};
  Request r;
  r.cdb = cdb.data();
  r.cdbLength = uint8_t(cdb.size());
  r.length = length;
  r.out = out != nullptr;
  r.data = out;
  r.reply = out ? nullptr : s.reply.data();
  s.ok = serve(f, r, s.error);
  return s;
}

TEST_F(PlayerStore, CreateLaysOutANewUnpluggedPlayer) {
  PlayerSpec want;
  want.capacityMib = 64;
  make('E', want, false);
  fs::path dir = fs::path(root) / "E";
  for (const char* f : {"state", "lock", "trace", "volume.img"}) EXPECT_TRUE(fs::exists(dir / f)) << f;
  EXPECT_EQ(fs::file_size(dir / "volume.img"), 64u << 20);
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(::stat((dir / "volume.img").c_str(), &st), 0);
  EXPECT_LT(uint64_t(st.st_blocks) * 512, 1u << 20) << "sparse";
#endif
  auto kv = shown('E');
  EXPECT_EQ(kv["plugged"], "0");
  EXPECT_EQ(kv["mode"], "rom");
  EXPECT_EQ(kv["flash_id"], "ECD35195");
  EXPECT_EQ(kv["items"], "1");
  EXPECT_EQ(kv["bonding"], "1");
  EXPECT_EQ(kv["capacity_mib"], "64");
  EXPECT_EQ(kv["port_code"], "5");
  EXPECT_FALSE(fs::exists(fs::path(root) / "events")) << "creating is no arrival";
  // Nothing but the player is left in the root.
  std::vector<std::string> entries;
  for (auto& e : fs::directory_iterator(root)) entries.push_back(e.path().filename().string());
  EXPECT_EQ(entries, std::vector<std::string>{"E"});
}

TEST_F(PlayerStore, CreateRefusesAnExistingPlayer) {
  make('E');
  std::string error;
  EXPECT_FALSE(createPlayer(root, 'E', PlayerSpec{}, error));
  EXPECT_NE(error.find("already exists"), std::string::npos) << error;
  EXPECT_EQ(state('E').plugged, 1) << "the existing player is untouched";
}

TEST_F(PlayerStore, PortCodeDefaultsToThePositionOfTheLetter) {
  const std::pair<char, uint32_t> cases[] = {{'A', 1}, {'E', 5}, {'H', 8}, {'I', 1}, {'Z', 2}};
  for (auto [letter, code] : cases) {
    make(letter, PlayerSpec{}, false);
    EXPECT_EQ(state(letter).portCode, code) << letter;
  }
  PlayerSpec want;
  want.portCode = 4402123;
  make('K', want, false);
  EXPECT_EQ(state('K').portCode, 4402123u);
}

TEST_F(PlayerStore, ParseLetter) {
  const std::pair<const char*, char> cases[] = {{"E", 'E'}, {"e", 'E'}, {"E:", 'E'}, {"z:", 'Z'},
                                                {"", 0},    {"EE", 0},  {"1", 0},   {"E:\\", 0}};
  for (auto [text, want] : cases) EXPECT_EQ(parseLetter(text), want) << text;
}

TEST_F(PlayerStore, PlugAndUnplugAreNumberedEvents) {
  make('E', PlayerSpec{}, false);
  make('F', PlayerSpec{}, false);
  std::string error;
  ASSERT_TRUE(setPlugged(root, 'E', true, error));
  ASSERT_TRUE(setPlugged(root, 'F', true, error));
  ASSERT_TRUE(setPlugged(root, 'E', true, error));  // already in: no event
  ASSERT_TRUE(setPlugged(root, 'E', false, error));
  ASSERT_TRUE(setPlugged(root, 'E', false, error));
  ASSERT_TRUE(setPlugged(root, 'E', true, error));
  EXPECT_EQ(events(), (std::vector<std::string>{"1 plug E", "2 plug F", "3 unplug E", "4 plug E"}));
  EXPECT_FALSE(setPlugged(root, 'G', true, error));
  EXPECT_NE(error.find("no player G"), std::string::npos) << error;
}

TEST_F(PlayerStore, UnplugCutsThePower) {
  PlayerSpec want;
  want.mode = Mode::Fsm;
  make('E', want);
  std::string error;
  ASSERT_TRUE(setPlugged(root, 'E', false, error));
  EXPECT_EQ(state('E').mode, Mode::Rom) << "the manager ran from memory";
  want.mode = Mode::Update;
  make('F', want);
  ASSERT_TRUE(setPlugged(root, 'F', false, error));
  EXPECT_EQ(state('F').mode, Mode::Update);
}

TEST_F(PlayerStore, ServeKeepsStateBetweenOpensAndTracesEachRequest) {
  make('E');
  std::string error;
  {
    auto f = PlayerFiles::open(root, 'E', &error);
    ASSERT_TRUE(f) << error;
    EXPECT_TRUE(send(*f, {0xEF, 0x83, 0x03, 0, 0, 0}, 1).ok);
    std::vector<uint8_t> chunk(904, 0x11);
    EXPECT_TRUE(send(*f, {0xEF, 0x7A, 0, 0, 0x03, 0x88}, 1).ok);
    EXPECT_TRUE(send(*f, {0xEE, 0x7B, 0, 0, 0, 0}, 904, chunk.data()).ok);
  }
  auto f = PlayerFiles::open(root, 'E', &error);
  Sent s = send(*f, {0xEF, 0x7C, 0, 0, 0, 0}, 1);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.reply[0], 1);
  auto kv = shown('E');
  EXPECT_EQ(kv["sys_area"], "3");
  EXPECT_EQ(kv["packages"], "1");
  EXPECT_EQ(kv["package1_size"], "904");
  EXPECT_EQ(kv["package1_checksum"], std::to_string(904 * 0x11 % 65536));
  EXPECT_EQ(slurp(fs::path(root) / "E" / "package.bin"), std::string(904, '\x11'));
  std::string trace;
  ASSERT_TRUE(readTrace(root, 'E', trace, error));
  EXPECT_EQ(trace,
            "EF 83 03 00 00 00 in 1\n"
            "EF 7A 00 00 03 88 in 1\n"
            "EE 7B 00 00 00 00 out 904\n"
            "EF 7C 00 00 00 00 in 1\n");
}

// A device-tool run holds its player from open to end: tarnsim waits for the run, and
// then finds every request of it in the trace.
TEST_F(PlayerStore, RunHoldsThePlayerAndItsTraceIsWholeAfterIt) {
  make('E');
  std::string error;
  auto run = PlayerFiles::open(root, 'E', &error);
  ASSERT_TRUE(run && run->lock()) << error;
  EXPECT_TRUE(send(*run, {0xEF, 0x83, 0x03, 0, 0, 0}, 1).ok);
  std::atomic<bool> unplugged{false};
  std::thread other([&] {
    std::string e;
    unplugged = setPlugged(root, 'E', false, e);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // its chance to get in
  EXPECT_TRUE(send(*run, {0xEF, 0x83, 0x03, 0, 0, 0}, 1).ok) << "still plugged within the run";
  EXPECT_FALSE(unplugged) << "nobody else while the run holds the player";
  run->unlock();
  other.join();
  EXPECT_TRUE(unplugged);
  std::string trace;
  ASSERT_TRUE(readTrace(root, 'E', trace, error));
  EXPECT_EQ(trace, "EF 83 03 00 00 00 in 1\nEF 83 03 00 00 00 in 1\n");
}

TEST_F(PlayerStore, UnpluggedPlayerAnswersNothing) {
  make('E');
  std::string error;
  auto f = PlayerFiles::open(root, 'E', &error);
  ASSERT_TRUE(setPlugged(root, 'E', false, error));
  Sent s = send(*f, {0xEF, 0x85, 0, 0, 0, 0}, 4);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.error, kErrorNotConnected);
  EXPECT_EQ(s.reply, std::vector<uint8_t>(4, 0));
  std::string trace;
  ASSERT_TRUE(readTrace(root, 'E', trace, error));
  EXPECT_EQ(trace, "") << "a pulled-out player receives nothing";
}

TEST_F(PlayerStore, FaultsAreSetAndCleared) {
  make('E');
  std::string error;
  EXPECT_FALSE(setFault(root, 'E', {"nosuch", 0, false, false}, error));
  EXPECT_NE(error.find("unknown request: nosuch"), std::string::npos);
  ASSERT_TRUE(setFault(root, 'E', {"IS_TARN", 1, false, false}, error)) << error;
  auto f = PlayerFiles::open(root, 'E', &error);
  EXPECT_TRUE(send(*f, {0xEF, 0x85, 0, 0, 0, 0}, 4).ok);
  Sent s = send(*f, {0xEF, 0x85, 0, 0, 0, 0}, 4);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.error, kErrorIoDevice);
  ASSERT_TRUE(setFault(root, 'E', {"IS_TARN", 0, false, true}, error)) << error;
  EXPECT_TRUE(send(*f, {0xEF, 0x85, 0, 0, 0, 0}, 4).ok);
  EXPECT_EQ(shown('E').count("fault1_request"), 0u);
}

// A damaged state record is refused with a message, never read past a field or obeyed:
// an unterminated fault name would be read past its 48 bytes, a stray latency would make
// every request sleep for hours.
TEST_F(PlayerStore, DamagedStateIsRefused) {
  auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  auto word = [](uint32_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; };
  struct Case {
    const char* name;
    size_t offset;
    std::vector<uint8_t> with;
    const char* why;
  } cases[] = {
      {"64 bytes of A over the faults", 1072, bytes(std::string(64, 'A')), "fault name"},
      {"fault name without its end", offsetof(PlayerState, faults), bytes(std::string(48, 'x')), "not terminated"},
      {"unknown fault request", offsetof(PlayerState, faults), bytes("no_such"), "unknown fault request"},
      {"latency of hours", offsetof(PlayerState, latencyMs), word(0xFFFFFFFF), "latency"},
      {"no check polls", offsetof(PlayerState, checkPolls), word(0), "check poll"},
      {"mode out of range", offsetof(PlayerState, mode), {9}, "mode"},
      {"plugged neither 0 nor 1", offsetof(PlayerState, plugged), {7}, "yes/no"},
      {"not a state record", 0, word(0x12345678), "not a player"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    make('E');
    {
      std::fstream f(fs::path(root) / "E" / "state", std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(std::streamoff(c.offset));
      f.write(reinterpret_cast<const char*>(c.with.data()), std::streamsize(c.with.size()));
    }
    PlayerState st;
    std::string error;
    EXPECT_FALSE(readState(root, 'E', st, error));
    EXPECT_NE(error.find("is damaged"), std::string::npos) << error;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_FALSE(setFault(root, 'E', {"wt_pgr", 0, false, true}, error));
    auto files = PlayerFiles::open(root, 'E', &error);
    ASSERT_TRUE(files);
    Sent s = send(*files, {0xEF, 0x85, 0, 0, 0, 0}, 4);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.error, kErrorNotConnected);
  }
  make('F');
  fs::resize_file(fs::path(root) / "F" / "state", 10);
  PlayerState st;
  std::string error;
  EXPECT_FALSE(readState(root, 'F', st, error));
  EXPECT_NE(error.find("short"), std::string::npos) << error;
}

// Requests from many openers at once (separate processes in real use: separate open
// files here, which flock() treats alike) must all be counted, traced whole and in a
// consistent state.
TEST_F(PlayerStore, ConcurrentOpenersNeverCorruptThePlayer) {
  PlayerSpec want;
  want.mode = Mode::Fsm;
  make('E', want);
  constexpr int kThreads = 4, kEach = 500;
  std::vector<uint8_t> file(kEach * 2048 + 100);
  for (size_t i = 0; i < file.size(); ++i) file[i] = uint8_t(i * 13 + (i >> 11));
  std::string error;
  {
    auto f = PlayerFiles::open(root, 'E', &error);
    uint32_t n = uint32_t(file.size());
    ASSERT_TRUE(send(*f, {0xEF, 0x7A, uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)}, 1).ok);
  }
  std::vector<std::thread> threads;
  std::atomic<int> failures{0}, ready{0};
  auto startTogether = [&] {
    ++ready;
    while (ready < kThreads + 1) std::this_thread::yield();
  };
  threads.emplace_back([&] {
    auto f = PlayerFiles::open(root, 'E', nullptr);
    startTogether();
    for (size_t at = 0; at < file.size(); at += 2048) {
      uint32_t n = uint32_t(std::min<size_t>(2048, file.size() - at));
      if (!send(*f, {0xEE, 0x7B, 0, 0, 0, 0}, n, file.data() + at).ok) ++failures;
    }
  });
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      auto f = PlayerFiles::open(root, 'E', nullptr);
      startTogether();
      for (int i = 0; i < kEach; ++i) {
        Sent s = send(*f, {0xEF, 0x85, 0, 0, 0, 0}, 4);
        if (!s.ok || std::memcmp(s.reply.data(), "TARN", 4) != 0) ++failures;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  {
    auto f = PlayerFiles::open(root, 'E', &error);
    EXPECT_EQ(send(*f, {0xEF, 0x7C, 0, 0, 0, 0}, 1).reply[0], 1);
  }
  PlayerState s = state('E');
  const uint64_t chunks = file.size() / 2048 + 1;
  EXPECT_EQ(s.requests, 2 + chunks + kThreads * kEach);
  uint32_t sum = 0;
  for (uint8_t b : file) sum += b;
  EXPECT_EQ(s.keptPackage(0).checksum, uint16_t(sum));
  EXPECT_EQ(slurp(fs::path(root) / "E" / "package.bin"), std::string(file.begin(), file.end()));
  std::string trace;
  ASSERT_TRUE(readTrace(root, 'E', trace, error));
  auto lines = linesOf(trace);
  ASSERT_EQ(lines.size(), s.requests);
  size_t isTarn = 0, data = 0;
  for (auto& l : lines) {
    if (l == "EF 85 00 00 00 00 in 4") ++isTarn;
    else if (l.rfind("EE 7B 00 00 00 00 out ", 0) == 0) ++data;
  }
  EXPECT_EQ(isTarn, size_t(kThreads * kEach));
  EXPECT_EQ(data, chunks);
}

}  // namespace
}  // namespace tarnsim

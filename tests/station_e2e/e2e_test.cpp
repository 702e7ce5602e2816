// The whole station on simulated players: mpstation --headless, the real devcmd, the
// simulated port finder and real FAT volumes judged by dosfstools and mtools.
#include "station_harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace station::e2e {
namespace {

using ::testing::HasSubstr;

const fs::path kDist = TARN_DIST_DIR;

struct CounterLine {
  int total = -1, success = -1, fail = -1, running = -1;
};

std::optional<CounterLine> counters(const std::string& line) {
  static const std::regex re(R"(^counters: total=(\d+) success=(\d+) fail=(\d+) running=(\d+))");
  std::smatch m;
  if (!std::regex_search(line, m, re)) return std::nullopt;
  return CounterLine{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
}

CounterLine lastCounters(const std::vector<std::string>& lines) {
  CounterLine last;
  for (const auto& l : lines)
    if (auto c = counters(l)) last = *c;
  return last;
}

std::vector<std::string> rowLines(const std::vector<std::string>& lines, int row) {
  std::vector<std::string> out;
  std::string prefix = "row " + std::to_string(row) + ": ";
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  return out;
}

// Sanitizer reports go to the same output; a clean run has none.
void expectNoSanitizerReport(const std::vector<std::string>& lines) {
  for (const auto& l : lines) {
    EXPECT_EQ(l.find("ThreadSanitizer"), std::string::npos) << l;
    EXPECT_EQ(l.find("AddressSanitizer"), std::string::npos) << l;
    EXPECT_EQ(l.find("runtime error:"), std::string::npos) << l;
  }
}

// dosfstools live in sbin, which a plain user's PATH may lack.
std::string fatTool(const std::string& name) {
  for (const char* dir : {"/usr/sbin/", "/sbin/"})
    if (fs::exists(std::string(dir) + name)) return dir + name;
  return name;
}

// "FAT16" or "FAT32" as the boot sector names the file system.
std::string fatType(const fs::path& image) {
  std::ifstream in(image, std::ios::binary);
  char boot[512] = {};
  in.read(boot, sizeof boot);
  if (std::string(boot + 0x52, 5) == "FAT32") return "FAT32";
  if (std::string(boot + 0x36, 5) == "FAT16") return "FAT16";
  return "?";
}

std::string label(const fs::path& image) {
  std::string out;
  run({fatTool("fatlabel"), image.string()}, &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::vector<std::string> rootFiles(const fs::path& image) {
  std::string out;
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  run({"mdir", "-b", "-i", image.string(), "::/"}, &out);
  std::vector<std::string> names;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);)
    if (l.rfind("::/", 0) == 0) names.push_back(l.substr(3));
  std::sort(names.begin(), names.end());
  return names;
}

class Station : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::make_unique<StationFolder>(kDist, ::testing::UnitTest::GetInstance()
                                                         ->current_test_info()
                                                         ->name());
    folder->settings({{"Format", "0"},
                      {"Blanking check", "0"},
                      {"FwUpgrade", "1"},
                      {"ISO upgrade", "0"},
                      {"Manual Upgrade", "0"},
                      {"FwParityCheck", "1"},
                      {"Label", "TARNTEST"}});
    folder->copyList({folder->file("program.bin", firmwareImage(1)),
                      folder->file("prefer.dat", std::string(4096, '\x5A')),
                      folder->file("song.mp3", "ID3" + std::string(20000, '\x11')),
                      folder->file("notes.txt", "played on the line\r\n")});
  }

  std::unique_ptr<StationFolder> folder;
};

// Eight players plugged in together are produced at once; a ninth finds every slot taken.
TEST_F(Station, EightAtOnceAndANinth) {
  const std::vector<PlayerSpec> players = {
      {'E', 128, "ECD35195"}, {'F', 129, "98D79432"}, {'G', 256, "ECD35195"},
      {'H', 512, "98D79432"}, {'I', 64, "ECD35195"},  {'J', 1024, "98D79432"},
      {'K', 200, "ECD35195"}, {'L', 300, "98D79432"}, {'M', 256, "ECD35195"},
  };
  for (const auto& p : players) ASSERT_TRUE(folder->create(p)) << p.letter;

  HeadlessStation station(*folder, 8);
  ASSERT_TRUE(station.started());
  ASSERT_TRUE(station.waitForLine("ready"));
  for (const auto& p : players) ASSERT_TRUE(folder->plug(p.letter));
  ChildEnd end = station.finish();
  std::vector<std::string> lines = station.lines();
  expectNoSanitizerReport(lines);
  EXPECT_EQ(end.status, 0);

  // Every run in progress at once; the groups come back only with the last tally.
  int peak = 0;
  CounterLine last;
  size_t firstRun = lines.size(), enabledAgain = lines.size();
  int enables = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto c = counters(lines[i])) {
      peak = std::max(peak, c->running);
      if (c->running > 0 && firstRun == lines.size()) firstRun = i;
      last = *c;
    }
    if (i > firstRun && firstRun != lines.size() && lines[i] == "enabled: grpFileList=1") {
      ++enables;
      if (enabledAgain == lines.size()) enabledAgain = i;
    }
  }
  EXPECT_EQ(peak, 8);
  EXPECT_EQ(last.total, 8);
  EXPECT_EQ(last.success, 8);
  EXPECT_EQ(last.fail, 0);
  EXPECT_EQ(last.running, 0);
  EXPECT_EQ(enables, 1);
  ASSERT_LT(enabledAgain, lines.size());
  for (size_t i = enabledAgain; i < lines.size(); ++i) {
    if (auto c = counters(lines[i])) {
      EXPECT_EQ(c->total, 8) << "the groups came back before the last run ended";
      break;
    }
  }

  EXPECT_EQ(std::count(lines.begin(), lines.end(), "message: Status: Exceed the device limit!"), 1);

  // Each row ends blue, full, with its port; the volumes are sound, labelled, hold the
  // operator's files and not the flash images.
  for (int row = 1; row <= 8; ++row) {
    std::vector<std::string> rl = rowLines(lines, row);
    ASSERT_FALSE(rl.empty()) << row;
    EXPECT_THAT(rl.back(), HasSubstr("\"successful\" blue 100 bar=shown picture=success")) << row;
  }
  std::string log = folder->portLog();
  for (const auto& p : players) {
    std::string x(1, p.letter);
    SCOPED_TRACE(x);
    EXPECT_THAT(log, HasSubstr(x + ":<--\r\n"));
    if (p.letter == 'M') {
      EXPECT_THAT(log, ::testing::Not(HasSubstr("M: Start")));
      continue;
    }
    EXPECT_THAT(log, HasSubstr(x + ": Start\r\n"));
    EXPECT_THAT(log, HasSubstr(x + ": size =" + std::to_string(p.capacityMib) + "MB\r\n"));
    EXPECT_THAT(log, HasSubstr(x + " success!\r\n"));
    fs::path image = folder->volume(p.letter);
    EXPECT_EQ(run({fatTool("fsck.fat"), "-n", image.string()}), 0);
    EXPECT_EQ(label(image), "TARNTEST");
    EXPECT_EQ(fatType(image), p.capacityMib > 128 ? "FAT32" : "FAT16");
    EXPECT_THAT(rootFiles(image), ::testing::ElementsAre("notes.txt", "song.mp3"));
  }
}

// A fault in one player fails that player's run alone, and never counts it as produced:
// a failed flash read, and a player that drops off after its flash work, fail as surely
// as a failed write.
TEST_F(Station, FaultFailsOnlyThatPlayer) {
  struct Case {
    std::vector<std::string> fault;
    std::string row2;  // the failed row's last line, or empty where the row waits again
  } cases[] = {
      {{"wt_pgr"}, "\"Program Writing fail\" red 40 bar=shown picture=fail"},
      {{"rd_id"}, "\"Flash Check fail\" red 5 bar=shown picture=fail"},
      {{"chk_bad_p", "--vanish"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault[0]);
    if (!folder) SetUp();
    for (char l : {'E', 'F', 'G'}) ASSERT_TRUE(folder->create({l}));
    std::vector<std::string> args = {"fault", folder->sim().string(), "F"};
    args.insert(args.end(), c.fault.begin(), c.fault.end());
    ASSERT_EQ(folder->tarnsim(args), 0);

    HeadlessStation station(*folder, 3);
    ASSERT_TRUE(station.waitForLine("ready"));
    for (char l : {'E', 'F', 'G'}) ASSERT_TRUE(folder->plug(l));
    ChildEnd end = station.finish();
    std::vector<std::string> lines = station.lines();
    expectNoSanitizerReport(lines);
    EXPECT_EQ(end.status, 1);  // a tallied run failed

    CounterLine last = lastCounters(lines);
    EXPECT_EQ(last.total, 3);
    EXPECT_EQ(last.success, 2);
    EXPECT_EQ(last.fail, 1);

    EXPECT_THAT(rowLines(lines, 1).back(), HasSubstr("\"successful\" blue 100"));
    EXPECT_THAT(rowLines(lines, 2).back(),
                HasSubstr(c.row2.empty() ? "\"Waiting device...\" window" : c.row2));
    EXPECT_THAT(rowLines(lines, 3).back(), HasSubstr("\"successful\" blue 100"));
    std::string log = folder->portLog();
    EXPECT_THAT(log, HasSubstr("E success!\r\n"));
    EXPECT_THAT(log, HasSubstr("F fail!\r\n"));
    EXPECT_THAT(log, HasSubstr("G success!\r\n"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("F success!")));
    // Nothing of the run reached the failed player's user area.
    EXPECT_THAT(rootFiles(folder->sim() / "F" / "volume.img"), ::testing::IsEmpty());
    folder.reset();
  }
}

// A FIFO in the copy list is a file that cannot be opened: start-up goes on without it
// (it would wait for a writer for ever), and SIGTERM ends the station as a close would.
TEST_F(Station, SpecialFileInTheCopyListNeverBlocks) {
  fs::path fifo = folder->files() / "program.bin";
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  fs::path song = folder->file("song.mp3", "ID3");
  folder->copyList({fifo, song});
  HeadlessStation station(*folder, 1);
  ASSERT_TRUE(station.waitForLine("ready"));
  station.signal(SIGTERM);
  ChildEnd end = station.finish();
  EXPECT_EQ(end.status, 0);
  EXPECT_THAT(station.lines(), ::testing::Contains("copy list: 1 items"));
  EXPECT_EQ(readText(folder->dir() / "misc" / "seting.ini"), song.string() + "\r\n");
}

// A player pulled out during its run: the station goes on, the run fails on the missing
// player, and its row waits again.
TEST_F(Station, UnpluggedDuringItsRun) {
  ASSERT_TRUE(folder->create({'E'}));
  ASSERT_TRUE(folder->create({'F', 256, "ECD35195", 1, 50}));  // slow enough to catch

  HeadlessStation station(*folder, 2);
  ASSERT_TRUE(station.waitForLine("ready"));
  ASSERT_TRUE(folder->plug('E'));
  ASSERT_TRUE(station.waitForLine("row 1: "));
  ASSERT_TRUE(folder->plug('F'));
  ASSERT_TRUE(station.waitForLine("row 2: \"Program Write Setup...\""));
  ASSERT_TRUE(folder->unplug('F'));
  ChildEnd end = station.finish();
  std::vector<std::string> lines = station.lines();
  expectNoSanitizerReport(lines);
  EXPECT_EQ(end.status, 1);

  EXPECT_EQ(std::count(lines.begin(), lines.end(), "volume: removal F"), 1);
  std::vector<std::string> row2 = rowLines(lines, 2);
  EXPECT_THAT(row2.back(), HasSubstr("\"Waiting device...\" window"));
  EXPECT_THAT(rowLines(lines, 1).back(), HasSubstr("\"successful\" blue 100"));
  CounterLine last = lastCounters(lines);
  EXPECT_EQ(last.total, 2);
  EXPECT_EQ(last.success, 1);
  EXPECT_EQ(last.fail, 1);
  std::string log = folder->portLog();
  EXPECT_THAT(log, HasSubstr("F: -->\r\n"));
  EXPECT_THAT(log, HasSubstr("F fail!\r\n"));
}

// Standard input left open as a pipe from a program still running (the README's pattern)
// never holds the station: each way of ending ends it at once.
TEST_F(Station, EndsWhileStandardInputStaysOpen) {
  struct Case {
    const char* how;
    int runs, timeout;
    int expected;
  };
  const Case cases[] = {
      {"quit", 0, 0, 0}, {"timeout", 0, 1, 3}, {"runs", 1, 0, 0}, {"SIGTERM", 0, 0, 0}, {"SIGINT", 0, 0, 0},
  };
  ASSERT_TRUE(folder->create({'E'}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    HeadlessStation station(*folder, c.runs, c.timeout, {}, /*typed=*/true);
    ASSERT_TRUE(station.waitForLine("ready"));
    const std::string how = c.how;
    if (how == "quit") {
      ASSERT_TRUE(station.type("quit"));
    }
    if (how == "runs") {
      ASSERT_TRUE(folder->plug('E'));
    }
    if (how == "SIGTERM") station.signal(SIGTERM);
    if (how == "SIGINT") station.signal(SIGINT);
    ASSERT_TRUE(station.endsWithin(std::chrono::seconds(60)));
    EXPECT_EQ(station.finish().status, c.expected);
    if (how == "runs") {
      ASSERT_TRUE(folder->unplug('E'));
    }
  }
}

}  // namespace
}  // namespace station::e2e

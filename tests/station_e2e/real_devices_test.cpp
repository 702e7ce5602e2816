// The station on real Linux devices: players' volumes are loop devices attached to their
// volume.img, heard of through the kernel's events, given station letters and formatted,
// labelled, filled and checked through the device nodes; only the vendor requests are
// answered by the simulated players. Root only (skipped with the reason elsewhere).
#include "station_harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "loop_devices.h"

namespace station::e2e {
namespace {

using ::testing::HasSubstr;
using tarn::test::FreshLoop;

const fs::path kDist = TARN_DIST_DIR;

std::string lastRow(const std::vector<std::string>& lines, int row) {
  std::string prefix = "row " + std::to_string(row) + ": ", last;
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) last = l;
  return last;
}

TEST(RealStation, ProductionOnLoopDevices) {
  std::string why;
  if (!tarn::test::loopDevicesUsable(why)) GTEST_SKIP() << why;

  StationFolder folder(kDist, "real");
  folder.settings({{"Format", "1"},         {"Blanking check", "0"}, {"FwUpgrade", "1"},
                   {"ISO upgrade", "0"},    {"Manual Upgrade", "0"}, {"FwParityCheck", "1"},
                   {"Label", "TARNREAL"}});
  folder.copyList({folder.file("program.bin", firmwareImage(1)),
                   folder.file("prefer.dat", std::string(4096, '\x5A')),
                   folder.file("song.mp3", "ID3" + std::string(200000, '\x11'))});
  // G's device is read-only: its format must fail however the tool ends.
  struct Player {
    char letter;
    unsigned mib;
    bool readOnly;
    const char* row;
  } players[] = {{'E', 256, false, "\"successful\" blue 100"},
                 {'F', 64, false, "\"successful\" blue 100"},
                 {'G', 64, true, "\"Format fail\" red"}};
  FreshLoop loops[3], stranger;
  std::vector<std::string> options = {"--real-devices"};
  for (FreshLoop& l : loops) {
    ASSERT_TRUE(l.ok()) << "no free loop device number";
    options.insert(options.end(), {"--allow-device", l.node()});
  }
  ASSERT_TRUE(stranger.ok());
  for (const Player& p : players) ASSERT_TRUE(folder.create({p.letter, p.mib}));

  HeadlessStation station(folder, 3, 300, options);
  ASSERT_TRUE(station.waitForLine("ready"));
  for (int i = 0; i < 3; ++i) {
    const Player& p = players[i];
    ASSERT_TRUE(folder.plug(p.letter));  // the simulated side answers the vendor requests
    ASSERT_TRUE(loops[i].attach(folder.volume(p.letter).string(), p.readOnly));
    // Letters follow the arrivals: one at a time keeps them in step with the players.
    ASSERT_TRUE(station.waitForLine(std::string("volume: arrival ") + p.letter));
  }
  // A disk that is neither USB nor a test device is refused, and says so.
  ASSERT_TRUE(stranger.attach(folder.volume('F').string(), true));
  ASSERT_TRUE(station.waitForLine("volume: refused " + stranger.node()));
  ChildEnd end = station.finish();
  std::vector<std::string> lines = station.lines();
  EXPECT_EQ(end.status, 1) << "G's run failed";
  for (const auto& l : lines) {
    EXPECT_EQ(l.find("Sanitizer"), std::string::npos) << l;
    EXPECT_EQ(l.find("runtime error:"), std::string::npos) << l;
  }

  std::string log = folder.portLog();
  for (int i = 0; i < 3; ++i) {
    const Player& p = players[i];
    std::string x(1, p.letter);
    SCOPED_TRACE(x);
    EXPECT_THAT(lastRow(lines, i + 1), HasSubstr(p.row));
    // A loop device hangs at no USB port: discovery fails as it does on Windows.
    EXPECT_THAT(log, HasSubstr(x + ": Serial_num = " + std::to_string(p.letter - 'A') + "\r\n" + x +
                               ": Port = 0\r\n" + x + ":Port =0:0 fail\r\n"));
  }
  EXPECT_THAT(log, HasSubstr(stranger.node() + ": refused, not a USB mass-storage disk\r\n"));
  const std::string refusedRow =
      "row 4: \"" + stranger.node() + " refused: not a USB mass-storage disk\" red";
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.rfind(refusedRow, 0) == 0;
  })) << refusedRow;
  EXPECT_THAT(log, HasSubstr("E success!\r\n"));
  EXPECT_THAT(log, HasSubstr("F success!\r\n"));
  EXPECT_THAT(log, HasSubstr("G fail!\r\n"));

  for (FreshLoop& l : loops) ASSERT_TRUE(l.detach());
  stranger.detach();
  struct Volume {
    char letter;
    const char* type;
    size_t typeAt;
  } volumes[] = {{'E', "FAT32", 0x52}, {'F', "FAT16", 0x36}};
  for (const Volume& v : volumes) {
    std::string image = folder.volume(v.letter).string();
    SCOPED_TRACE(image);
    EXPECT_EQ(tarn::test::runTool({"fsck.fat", "-n", image}), 0);
    EXPECT_EQ(tarn::test::readBytes(image, v.typeAt, 5), v.type);
    std::string label;
    tarn::test::runTool({"fatlabel", image}, &label);
    EXPECT_EQ(label, "TARNREAL\n");
    EXPECT_EQ(tarn::test::rootListing(image), "song.mp3\n");
  }
  // The read-only player's image was never written.
  EXPECT_EQ(tarn::test::readBytes(folder.volume('G').string(), 0, 512), std::string(512, '\0'));
}

// Two stations on one machine, each in a session of its own (its own instance lock), both
// offered the same disk: one takes it, the other refuses it as taken, whichever saw it first.
TEST(RealStation, OneStationPerDisk) {
  std::string why;
  if (!tarn::test::loopDevicesUsable(why)) GTEST_SKIP() << why;
  FreshLoop loop;
  ASSERT_TRUE(loop.ok()) << "no free loop device number";
  StationFolder one(kDist, "owner_one"), two(kDist, "owner_two");
  std::vector<std::string> options = {"--real-devices", "--allow-device", loop.node()};
  HeadlessStation a(one, 1, 300, options), b(two, 1, 300, options);
  ASSERT_TRUE(a.waitForLine("ready") && b.waitForLine("ready"));
  ASSERT_TRUE(one.create({'E', 16}));
  ASSERT_TRUE(loop.attach(one.volume('E').string()));
  auto arrival = [](const std::string& l) { return l.rfind("volume: arrival E", 0) == 0; };
  auto refusal = [](const std::string& l) {
    return l.find("refused: taken by another station\"") != std::string::npos;
  };
  int arrivals = 0, refusals = 0;
  for (HeadlessStation* s : {&a, &b}) {
    ASSERT_TRUE(s->waitFor([&](const std::string& l) { return arrival(l) || refusal(l); }));
    for (const auto& l : s->lines()) {
      arrivals += arrival(l);
      refusals += refusal(l);
    }
  }
  EXPECT_EQ(arrivals, 1);
  EXPECT_EQ(refusals, 1);
}

}  // namespace
}  // namespace station::e2e

// The station in production mode (no option for tests) on players served as USB devices
// by a real kernel: only inside the guest of scripts/usb-guest, which serves the players
// under $USB_PLAYERS unplugged (skipped elsewhere). Arrivals come from the kernel's events,
// ports from sysfs, vendor requests over SG_IO, volume steps on /dev/sdX.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

#include "loop_devices.h"
#include "station_harness.h"

namespace station::e2e {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

const fs::path kDist = TARN_DIST_DIR;

// The row's text when its run ended (a pulled player's row waits again afterwards).
std::string endedRow(const std::vector<std::string>& lines, int row) {
  const std::string prefix = "row " + std::to_string(row) + ": ";
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0 &&
        (l.find("\"successful\" blue 100") != std::string::npos || l.find(" fail\"") != std::string::npos))
      return l;
  return "";
}

TEST(UsbGuestStation, SixPlayersAtSixPorts) {
  const char* playersRoot = std::getenv("USB_PLAYERS");
  if (!playersRoot || !fs::exists("/sys/bus/usb/drivers/usb-storage"))
    GTEST_SKIP() << "runs in the guest of scripts/usb-guest";
  const std::string root = playersRoot;
  auto tarnsim = [&](std::vector<std::string> args) {
    args.insert(args.begin(), (kDist / "tarnsim").string());
    return run(args);
  };

  StationFolder folder(kDist, "usb");
  tarn::testing::TempFolder scratch("usbreadback");
  folder.settings({{"Format", "1"}, {"Blanking check", "0"}, {"FwUpgrade", "1"}, {"ISO upgrade", "0"},
                   {"Manual Upgrade", "0"}, {"FwParityCheck", "1"}, {"Label", "TARNUSB"}});
  // The big file keeps the copy going long enough to pull a player during it.
  const std::string song = "ID3" + std::string(200000, '\x11'), album = "ID3" + std::string(16 << 20, '\x22');
  folder.copyList({folder.file("program.bin", firmwareImage(1)),
                   folder.file("prefer.dat", std::string(4096, '\x5A')), folder.file("song.mp3", song),
                   folder.file("album.mp3", album)});

  // A disk that is not USB mass storage, present all along: never a player, never written.
  const std::string strangerFile = (folder.files() / "stranger.img").string();
  { std::ofstream(strangerFile, std::ios::binary) << std::string(8 << 20, '\0'); }
  tarn::test::FreshLoop stranger;
  ASSERT_TRUE(stranger.ok());

  struct Player {
    char letter;
    const char* row;
  } players[] = {{'E', "\"successful\" blue 100"}, {'F', "\"successful\" blue 100"},
                 {'G', "\"successful\" blue 100"}, {'H', "\"successful\" blue 100"},
                 {'I', "\"Copy Files fail\" red"},   {'J', "\"Flash Check fail\" red"}};
  ASSERT_EQ(tarnsim({"fault", root, "J", "rd_id"}), 0);

  HeadlessStation station(folder, 6, 1500, {}, /*typed=*/false, /*simulated=*/false);
  // What the station printed and logged, for a failure to be read from the guest's output.
  struct Dump {
    HeadlessStation& s;
    StationFolder& f;
    ~Dump() {
      if (!::testing::Test::HasFailure()) return;
      for (const auto& l : s.lines()) std::printf("station: %s\n", l.c_str());
      std::printf("port log:\n%s\n", f.portLog().c_str());
    }
  } dump{station, folder};
  ASSERT_TRUE(station.waitForLine("ready"));
  ASSERT_TRUE(stranger.attach(strangerFile));
  ASSERT_TRUE(station.waitForLine("volume: refused " + stranger.node()));

  Clock::time_point plugged[6];
  double tally[6] = {};
  for (int i = 0; i < 6; ++i) {
    const std::string x(1, players[i].letter);
    plugged[i] = Clock::now();
    ASSERT_EQ(tarnsim({"plug", root, x}), 0);
    // One at a time, so the letters and ports follow the order of arrival.
    ASSERT_TRUE(station.waitForLine("volume: arrival " + x)) << x;
  }
  // I is pulled once its copy is under way: formatted, and its volume filling.
  ASSERT_TRUE(station.waitFor([](const std::string& l) { return l.rfind("row 5: \"FormatFAT", 0) == 0; },
                              std::chrono::seconds(1200)));
  const std::string volumeI = root + "/I/volume.img";
  for (const Clock::time_point until = Clock::now() + std::chrono::seconds(600); Clock::now() < until;) {
    struct stat st {};
    if (stat(volumeI.c_str(), &st) == 0 && uint64_t(st.st_blocks) * 512 > (3u << 20)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(tarnsim({"unplug", root, "I"}), 0);
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(1200);
  for (bool all = false; !all && Clock::now() < giveUp;) {
    const std::vector<std::string> lines = station.lines();
    all = true;
    for (int i = 0; i < 6; ++i) {
      if (tally[i] == 0 && !endedRow(lines, i + 1).empty())
        tally[i] = std::chrono::duration<double>(Clock::now() - plugged[i]).count();
      all = all && tally[i] > 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  ChildEnd end = station.finish();
  const std::vector<std::string> lines = station.lines();
  EXPECT_EQ(end.status, 1) << "two runs failed";
  for (int i = 0; i < 6; ++i)
    std::printf("measured: %c plug to tally %.1f s\n", players[i].letter, tally[i]);

  const std::string log = folder.portLog();
  for (int i = 0; i < 6; ++i) {
    const std::string x(1, players[i].letter);
    SCOPED_TRACE(x);
    EXPECT_THAT(endedRow(lines, i + 1), HasSubstr(players[i].row));
    // Each at its own port of the one bus: port code = port, no hub.
    EXPECT_THAT(log, HasSubstr(x + ": Port = " + std::to_string(i + 1) + "\r\n"));
    EXPECT_THAT(log, HasSubstr(x + (i < 4 ? " success!\r\n" : " fail!\r\n")));
  }
  EXPECT_THAT(log, HasSubstr(stranger.node() + ": refused, not a USB mass-storage disk\r\n"));

  std::string records;
  ASSERT_EQ(run({(kDist / "mprecords").string(), "--dir", folder.dir().string(), "list", "--result",
                 "success"},
                &records),
            0);
  for (int i = 0; i < 4; ++i)
    EXPECT_THAT(records, HasSubstr(std::string(1, players[i].letter) + " 0-" + std::to_string(i + 1) + " "))
        << records;
  size_t successes = 0;
  for (size_t at = records.find(" success "); at != std::string::npos; at = records.find(" success ", at + 1))
    ++successes;
  EXPECT_EQ(successes, 4u) << records;

  for (int i = 0; i < 4; ++i) {
    const std::string image = root + "/" + players[i].letter + "/volume.img";
    SCOPED_TRACE(image);
    EXPECT_EQ(tarn::test::runTool({"fsck.fat", "-n", image}), 0);
    std::string label;
    tarn::test::runTool({"fatlabel", image}, &label);
    EXPECT_EQ(label, "TARNUSB\n");
    EXPECT_EQ(tarn::test::rootListing(image), "song.mp3\nalbum.mp3\n");
    EXPECT_TRUE(tarn::test::fileOnVolume(image, "song.mp3", scratch) == song);
    EXPECT_TRUE(tarn::test::fileOnVolume(image, "album.mp3", scratch) == album);
  }
  stranger.detach();
  EXPECT_EQ(tarn::test::readBytes(strangerFile, 0, 8 << 20), std::string(8 << 20, '\0'));
}

}  // namespace
}  // namespace station::e2e

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/sim/players.h"
#include "platform/volume_events.h"
#include "support/scratch.h"

#ifdef _WIN32
#include <windows.h>
#include <dbt.h>
#endif

namespace platform {
namespace {

using V = VolumeChange;

TEST(VolumeEvents, DeviceChangeDecoding) {
  struct Case {
    uint32_t event, type, mask;
    std::optional<VolumeNotice> notice;
  };
  const Case cases[] = {
      {0x8000, 2, 1u << 4, VolumeNotice{V::Arrival, "E"}},
      {0x8004, 2, 1u << 4, VolumeNotice{V::Removal, "E"}},
      {0x8000, 2, (1u << 5) | (1u << 4), VolumeNotice{V::Arrival, "EF"}},  // A first
      {0x8000, 2, 1u | (1u << 25), VolumeNotice{V::Arrival, "AZ"}},
      {0x8000, 2, 0xFC000000u | (1u << 6), VolumeNotice{V::Arrival, "G"}},  // 26..31 ignored
      {0x8000, 2, 0xFC000000u, std::nullopt},
      {0x8000, 5, 1u << 4, std::nullopt},   // a device interface, not a volume
      {0x8001, 2, 1u << 4, std::nullopt},   // query remove
      {0x8003, 2, 1u << 4, std::nullopt},   // remove pending
      {0x0007, 2, 1u << 4, std::nullopt},   // devnodes changed
  };
  for (const Case& c : cases)
    EXPECT_EQ(decodeDeviceChange(c.event, c.type, c.mask), c.notice)
        << std::hex << c.event << " " << c.type << " " << c.mask;
  EXPECT_EQ(unitMaskLetters(0x03FFFFFF), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

// Simulated players' arrivals, on every platform.
class SimEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tarn::testing::freshScratchDir("tarn_events");
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  void append(const std::string& text) {
    std::ofstream(root_ / "events", std::ios::app | std::ios::binary) << text;
  }
  std::filesystem::path root_;
};

TEST_F(SimEvents, FollowsTheFileFromWhereItStood) {
  append("1 plug E\n2 unplug E\n");  // before the station started: not heard
  auto events = makeSimVolumeEvents(root_.string());
  EXPECT_TRUE(events->poll().empty());
  append("3 plug F\n4 plug G\n5 unplug F\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{
                                {V::Arrival, "F"}, {V::Arrival, "G"}, {V::Removal, "F"}}));
  EXPECT_TRUE(events->poll().empty());
  append("6 unplug G\n7 pl");  // a line still being written waits for its end
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Removal, "G"}}));
  append("ug H\nnonsense\n8 wobble E\n9 plug EF\n10 plug i\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "H"}, {V::Arrival, "I"}}));
}

// The station's players chosen as simulated: arrivals from the events file, and elsewhere
// than Windows the players' own letters (a player folder gives its index).
TEST_F(SimEvents, SimulatedPlayersHearTheEventsFileAndKnowTheirLetters) {
  auto players = makeSimPlayers(root_.string());
  auto events = players->events();
  append("1 plug C\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "C"}}));
#ifndef _WIN32
  std::filesystem::create_directories(root_ / "C");
  auto topology = players->topology();
  EXPECT_EQ(topology->serialIndex('C'), 2);
  EXPECT_EQ(topology->serialIndex('D'), -1);
  EXPECT_NE(players->volumes(), nullptr);
#endif
}

// A line tarnsim did not write is skipped, and every later line is still heard: a number
// past the line's place would otherwise pass for the newest and silence the rest.
TEST_F(SimEvents, BadLinesAreSkippedAndListeningGoesOn) {
  append("1 plug E\n");
  auto events = makeSimVolumeEvents(root_.string());
  append("99999999 plug Z\n3 plug F\n4 plug G now\n\n6 unplug F\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "F"}, {V::Removal, "F"}}));
  append("7 plug H\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "H"}}));
}

TEST_F(SimEvents, AFileThatStartsOverIsFollowedFromItsStart) {
  append("1 plug E\n2 unplug E\n3 plug E\n");
  auto events = makeSimVolumeEvents(root_.string());
  std::filesystem::remove(root_ / "events");
  append("1 plug F\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "F"}}));
}

// A line written in text mode on Windows ends in CR LF; it is the same line.
TEST_F(SimEvents, LinesEndingInCarriageReturnCount) {
  auto events = makeSimVolumeEvents(root_.string());
  append("1 plug E\r\n2 unplug E\r\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "E"}, {V::Removal, "E"}}));
}

TEST_F(SimEvents, NoFileYetMeansNothingYet) {
  auto events = makeSimVolumeEvents(root_.string());
  EXPECT_TRUE(events->poll().empty());
  append("1 plug K\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "K"}}));
}

#ifdef _WIN32

// The hidden window hears a volume broadcast as the system would send it.
TEST(Win32VolumeEvents, HiddenWindowQueuesVolumeNotices) {
  auto events = makeWin32VolumeEvents(nullptr, 0);  // notifications only: no looks between

  HWND w = FindWindowA(kVolumeEventsWindowClass, "");
  if (!w) GTEST_SKIP() << "no display: windows cannot be made (the display run covers it)";
  DEV_BROADCAST_VOLUME v = {};
  v.dbcv_size = sizeof v;
  v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  v.dbcv_unitmask = (1u << 4) | (1u << 5);
  SendMessageA(w, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&v));
  v.dbcv_unitmask = 1u << 4;
  SendMessageA(w, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&v));
  v.dbcv_devicetype = 5;
  SendMessageA(w, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&v));
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "EF"}, {V::Removal, "E"}}));
}

// Notifications and looks at the drives together, on the hidden window's own thread.
TEST(Win32VolumeEvents, LooksCatchWhatNotificationsMiss) {
  std::atomic<uint32_t> present{(1u << 2) | (1u << 25)};  // C: and Z: from the start
  auto events = makeWin32VolumeEvents([&] { return present.load(); }, 20);
  HWND w = FindWindowA(kVolumeEventsWindowClass, "");
  if (!w) GTEST_SKIP() << "no display: windows cannot be made (the display run covers it)";
  std::vector<VolumeNotice> seen;
  auto settle = [&] {  // several looks' worth
    for (int i = 0; i < 10; ++i) {
      Sleep(20);
      for (auto& n : events->poll()) seen.push_back(n);
    }
  };
  auto notify = [&](WPARAM event, uint32_t mask) {
    DEV_BROADCAST_VOLUME v = {};
    v.dbcv_size = sizeof v;
    v.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    v.dbcv_unitmask = mask;
    SendMessageA(w, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&v));
  };
  const uint32_t G = 1u << 6, H = 1u << 7;
  present |= G;  // no notification at all: the look finds it
  settle();
  notify(DBT_DEVICEARRIVAL, G);  // the late notification adds nothing
  present &= ~G;
  notify(DBT_DEVICEREMOVECOMPLETE, G);  // whichever sees it first, one removal
  settle();
  present |= H;
  notify(DBT_DEVICEARRIVAL, H);
  notify(DBT_DEVICEARRIVAL, H);  // unplugged and back between two looks, removal missed
  settle();
  present &= ~H;  // removal notification missed: the look finds it
  settle();
  EXPECT_EQ(seen, (std::vector<VolumeNotice>{{V::Arrival, "G"}, {V::Removal, "G"},
                                              {V::Arrival, "H"}, {V::Removal, "H"},
                                              {V::Arrival, "H"}, {V::Removal, "H"}}));
}

#endif

}  // namespace
}  // namespace platform

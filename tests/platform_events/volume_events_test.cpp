#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

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

#ifndef _WIN32

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

TEST_F(SimEvents, AFileThatStartsOverIsFollowedFromItsStart) {
  append("1 plug E\n2 unplug E\n3 plug E\n");
  auto events = makeSimVolumeEvents(root_.string());
  std::filesystem::remove(root_ / "events");
  append("1 plug F\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "F"}}));
}

TEST_F(SimEvents, NoFileYetMeansNothingYet) {
  auto events = makeSimVolumeEvents(root_.string());
  EXPECT_TRUE(events->poll().empty());
  append("1 plug K\n");
  EXPECT_EQ(events->poll(), (std::vector<VolumeNotice>{{V::Arrival, "K"}}));
}

#else

// The hidden window hears a volume broadcast as the system would send it.
TEST(Win32VolumeEvents, HiddenWindowQueuesVolumeNotices) {
  auto events = makeVolumeEvents();
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

#endif

}  // namespace
}  // namespace platform

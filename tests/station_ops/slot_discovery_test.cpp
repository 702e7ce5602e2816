// Port code decoding and the discovery's port log lines.
#include "support/recording_station.h"
#include "station/engine/slot_discovery.h"

#include <gtest/gtest.h>

namespace station {
namespace {

struct FixedTopology : platform::UsbTopology {
  int index;
  explicit FixedTopology(int i) : index(i) {}
  int serialIndex(char) override { return index; }
};

TEST(PortCode, Decoding) {
  struct Case {
    uint32_t code;
    PortDecodeOutcome outcome;
    int hubPort, port, showPort;
  } cases[] = {
      {3, PortDecodeOutcome::Found, 0, 3, 3},
      {4402123, PortDecodeOutcome::Found, 2, 3, 7},
      {4402112, PortDecodeOutcome::Found, 1, 2, 2},
      {4502123, PortDecodeOutcome::TooManyPorts, 2, 3, 0},
      {4402120, PortDecodeOutcome::NoPort, 2, 0, 0},
      {0, PortDecodeOutcome::NoPort, 0, 0, 0},
      {53, PortDecodeOutcome::Found, 0, 3, 3},           // hub port without hub places
      {22432132, PortDecodeOutcome::Found, 3, 2, 8},     // third hub: 2 + 4 + 2
      {4402104, PortDecodeOutcome::Found, 0, 4, 4},      // hub port 0 with hubs described
      {4402159, PortDecodeOutcome::Found, 5, 9, 5},      // no hub place; 9 - 0 - 4
      {904402123, PortDecodeOutcome::Found, 2, 3, 7},    // ninth digit ignored
      {2204209, PortDecodeOutcome::Found, 0, 9, 7},      // 9 > 8: minus hub size 2 (2)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    PortDecode d = decodePortCode(c.code);
    EXPECT_EQ(d.outcome, c.outcome);
    if (c.outcome == PortDecodeOutcome::NoPort) continue;
    EXPECT_EQ(d.hubPort, c.hubPort);
    EXPECT_EQ(d.port, c.port);
    if (c.outcome == PortDecodeOutcome::Found) {
      EXPECT_EQ(d.showPort, c.showPort);
    }
  }
  PortDecode d = decodePortCode(87654321);
  EXPECT_EQ(d.hubPlace[0], 3);
  EXPECT_EQ(d.hubPlace[1], 4);
  EXPECT_EQ(d.hubPlace[2], 5);
  EXPECT_EQ(d.hubSize[0], 6);
  EXPECT_EQ(d.hubSize[1], 7);
  EXPECT_EQ(d.hubSize[2], 8);
}

struct DiscoveryCase {
  int serial;
  std::vector<uint32_t> finder;  // empty: the finder cannot be started
  bool found;
  int hubPort, port;
  std::vector<std::string> log;
  std::vector<std::string> events;
};

TEST(SlotDiscovery, PortLogAndResult) {
  const DiscoveryCase cases[] = {
      {-1, {}, false, 0, 0, {"E: Serial no = -1"}, {}},
      {3, {3}, true, 0, 3, {"E: Serial_num = 3", "E: Port = 3"}, {}},
      {4, {4402123}, true, 2, 3,
       {"E: Serial_num = 4", "E: Port = 4402123",
        "E: Serial_num= 4 port= 4402123 hubport = 2 current_port = 3 showport = 7"},
       {}},
      {4, {4402112}, true, 1, 2,
       {"E: Serial_num = 4", "E: Port = 4402112",
        "E: Serial_num= 4 port= 4402112 hubport = 1 current_port = 2 showport = 2"},
       {}},
      {4, {4502123}, false, 0, 0, {"E: Serial_num = 4", "E: Port = 4502123"},
       {"message Exceed USB Port limitation | fail | 1"}},
      {0, {4402120}, false, 0, 0, {"E: Serial_num = 0", "E: Port = 4402120", "E:Port =0:0 fail"}, {}},
      {2, {}, false, 0, 0, {"E: Serial_num = 2", "E: Port = 0", "E:Port =0:0 fail"}, {}},
  };
  for (const auto& c : cases) {
    testing::RecordingStation view;
    testing::FakeLauncher launcher;
    if (c.finder.empty()) launcher.cannotStart();
    for (uint32_t code : c.finder) launcher.answer({code});
    DeviceTool tool(launcher, view, view);
    FixedTopology topology(c.serial);
    auto result = discoverSlot('E', topology, tool, view);
    EXPECT_EQ(result.has_value(), c.found);
    if (result && c.found) {
      EXPECT_EQ(result->hubPort, c.hubPort);
      EXPECT_EQ(result->port, c.port);
    }
    EXPECT_EQ(view.portLog, c.log);
    EXPECT_EQ(view.events, c.events);
    if (c.serial >= 0) {
      ASSERT_EQ(launcher.runs.size(), 1u);
      EXPECT_EQ(launcher.runs[0].command.windowsLine, ".\\misc\\usbdos.exe " + std::to_string(c.serial));
      EXPECT_EQ(launcher.runs[0].pollMs, 200u);
      EXPECT_FALSE(launcher.runs[0].pumps);
    } else {
      EXPECT_TRUE(launcher.runs.empty());
    }
  }
}

// A platform that reads the port itself: the same lines, and no port finder is run.
TEST(SlotDiscovery, PortCodeFromThePlatform) {
  struct OwnTopology : platform::UsbTopology {
    int serialIndex(char) override { return 4; }
    std::optional<uint32_t> portCode(char) override { return 400113; }
  } topology;
  testing::RecordingStation view;
  testing::FakeLauncher launcher;
  DeviceTool tool(launcher, view, view);
  auto result = discoverSlot('E', topology, tool, view);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->hubPort, 1);
  EXPECT_EQ(result->port, 3);
  EXPECT_EQ(view.portLog, (std::vector<std::string>{
                              "E: Serial_num = 4", "E: Port = 400113",
                              "E: Serial_num= 4 port= 400113 hubport = 1 current_port = 3 showport = 3"}));
  EXPECT_TRUE(launcher.runs.empty());
}

TEST(RegistrySteps, MountedNamePrefixAndSerialIndex) {
  std::u16string name =
      u"\\??\\STORAGE#RemovableMedia#7&2d2d2d2d&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}XYZ";
  std::vector<uint8_t> bytes(512, 0);
  for (size_t i = 0; i < name.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(name[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
  }
  std::string text = platform::mountedDeviceName(bytes.data(), bytes.size());
  EXPECT_EQ(text, "\\??\\STORAGE#RemovableMedia#7&2d2d2d2d&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}");
  EXPECT_EQ(platform::parentIdPrefix(text), "7&2d2d2d2d&0");
  EXPECT_EQ(platform::mountedDeviceName(std::vector<uint8_t>(512, 0).data(), 512), "");
  EXPECT_EQ(platform::parentIdPrefix(""), "");
  EXPECT_EQ(platform::parentIdPrefix("\\??\\Volume{1234}"), "");
  EXPECT_EQ(platform::parentIdPrefix("a#b#Rest"), "");
  EXPECT_EQ(platform::mountedDeviceValueName('E'), "\\DosDevices\\E:");
  EXPECT_EQ(platform::serialIndexOfInstance("0123456789AB&0"), 1);   // 'B'
  EXPECT_EQ(platform::serialIndexOfInstance("0123456789AA&0"), 0);
  EXPECT_EQ(platform::serialIndexOfInstance("0123456789A0&0"), '0' - 'A');
  EXPECT_EQ(platform::serialIndexOfInstance("0123456789A"), -1);
}

}  // namespace
}  // namespace station

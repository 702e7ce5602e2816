// Against players that tarnsim makes: the port the station discovers for them through the
// shipped port finder. (Their user area is the same image the volume tests format.)
#if !defined(_WIN32) && defined(TARNSIM_TOOL)
#include "support/recording_station.h"
#include "platform/process.h"
#include "platform/usb_topology.h"
#include "station/engine/slot_discovery.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace station {
namespace {

uint32_t run(std::vector<std::string> argv, std::string* out = nullptr) {
  platform::ChildCommand cmd;
  cmd.argv = std::move(argv);
  cmd.extraEnv = {{"MTOOLS_SKIP_CHECK", "1"}};
  std::string sink;
  cmd.output = out ? out : &sink;
  platform::ChildResult r = platform::runChild(cmd, {10, 0, {}});
  return r.ended() ? r.exitCode : 999;
}

class TarnsimPlayers : public ::testing::Test {
 protected:
  void SetUp() override {
    root = testing::scratchDir("tarnsim");
    old = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(TARNSIM_TOOL).parent_path());
  }
  void TearDown() override {
    std::filesystem::current_path(old);
    std::filesystem::remove_all(root);
  }
  void create(char letter, const std::string& mib, const std::string& portCode) {
    std::string l(1, letter);
    ASSERT_EQ(run({TARNSIM_TOOL, "create", root.string(), l, "--capacity", mib, "--port-code", portCode}), 0u);
    ASSERT_EQ(run({TARNSIM_TOOL, "plug", root.string(), l}), 0u);
  }
  std::filesystem::path root, old;
};

TEST_F(TarnsimPlayers, DiscoveredPorts) {
  create('E', "8", "4402123");
  create('F', "8", "4402120");
  create('G', "8", "3");
  setenv("TARN_SIM", root.c_str(), 1);
  testing::RecordingStation view;
  DeviceTool tool(systemLauncher(), view, view);
  auto topology = platform::makeSimTopology(root.string());
  auto e = discoverSlot('E', *topology, tool, view);
  auto f = discoverSlot('F', *topology, tool, view);
  auto g = discoverSlot('G', *topology, tool, view);
  auto h = discoverSlot('H', *topology, tool, view);
  unsetenv("TARN_SIM");
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->hubPort, 2);
  EXPECT_EQ(e->port, 3);
  EXPECT_EQ(e->showPort, 7);
  EXPECT_FALSE(f.has_value());
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->port, 3);
  EXPECT_FALSE(h.has_value());
  std::vector<std::string> log = {
      "E: Serial_num = 4", "E: Port = 4402123",
      "E: Serial_num= 4 port= 4402123 hubport = 2 current_port = 3 showport = 7",
      "F: Serial_num = 5", "F: Port = 4402120", "F:Port =0:0 fail",
      "G: Serial_num = 6", "G: Port = 3", "H: Serial no = -1"};
  EXPECT_EQ(view.portLog, log);
}

}  // namespace
}  // namespace station
#endif

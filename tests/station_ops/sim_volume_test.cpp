// Volume operations on simulated players, judged by fsck.fat and mtools.
#ifndef _WIN32
#include "platform/process.h"
#include "platform/usb_topology.h"
#include "platform/volume.h"
#include "sim/player_store.h"
#include "station/engine/volume_check.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace station {
namespace {

// Runs a FAT tool for the test's own judgement.
struct Tool {
  uint32_t code = 0;
  std::string out;
};
Tool fatTool(std::vector<std::string> argv) {
  Tool t;
  platform::ChildCommand cmd;
  cmd.argv = std::move(argv);
  cmd.extraEnv = {{"MTOOLS_SKIP_CHECK", "1"}};
  cmd.output = &t.out;
  platform::ChildResult r = platform::runChild(cmd, {10, 0, {}});
  t.code = r.ended() ? r.exitCode : 999;
  return t;
}

class SimVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    root = testing::scratchDir("players");
    volumes = platform::makeSimVolumes(root.string());
  }
  void TearDown() override { std::filesystem::remove_all(root); }
  // A plugged player; its user area is <root>/<letter>/volume.img.
  std::string player(char letter, uintmax_t mib) {
    tarnsim::PlayerSpec want;
    want.capacityMib = uint32_t(mib);
    std::string error;
    EXPECT_TRUE(tarnsim::createPlayer(root.string(), letter, want, error)) << error;
    EXPECT_TRUE(tarnsim::setPlugged(root.string(), letter, true, error)) << error;
    return (root / std::string(1, letter) / "volume.img").string();
  }
  std::filesystem::path root;
  std::unique_ptr<platform::Volumes> volumes;
};

TEST_F(SimVolumes, FormatWithLabel) {
  struct Case {
    char letter;
    uintmax_t mib;
    bool fat32;
    std::string label, fsckType;
  } cases[] = {{'E', 64, false, "MY_AUDIO", "16 bit entries"},
               {'F', 256, true, "BOX", "32 bit entries"},
               // "FAT" leaves the type to the tool: a small player gets FAT12, where
               // forcing FAT16 would refuse it.
               {'H', 8, false, "TINY", "12 bit entries"}};
  for (const auto& c : cases) {
    std::string img = player(c.letter, c.mib);
    EXPECT_FALSE(volumes->isReadable(c.letter));  // blank: nothing to read yet
    EXPECT_EQ(volumes->readLabel(c.letter), "");
    int pumps = 0;
    ASSERT_TRUE(volumes->format(c.letter, false, c.fat32, c.label, [&pumps] { ++pumps; }));
    EXPECT_TRUE(volumes->isReadable(c.letter));
    EXPECT_EQ(volumes->readLabel(c.letter), c.label);
    Tool fsck = fatTool({"fsck.fat", "-n", "-v", img});
    EXPECT_EQ(fsck.code, 0u) << fsck.out;
    EXPECT_NE(fsck.out.find(c.fsckType), std::string::npos) << fsck.out;
    Tool info = fatTool({"mdir", "-i", img, "::/"});
    EXPECT_NE(info.out.find("Volume in drive : is " + c.label), std::string::npos) << info.out;
    EXPECT_TRUE(checkVolume(*volumes, c.letter));
  }
}

TEST_F(SimVolumes, LabelCopyAndCheck) {
  std::string img = player('G', 128);
  ASSERT_TRUE(volumes->format('G', false, false, "", {}));
  EXPECT_EQ(volumes->readLabel('G'), "");
  EXPECT_TRUE(volumes->setLabel('G', "SONGS"));
  EXPECT_EQ(volumes->readLabel('G'), "SONGS");

  auto src = root / "files";
  std::filesystem::create_directories(src);
  std::string first(300000, 'a'), second(5000, 'b');
  testing::writeFile(src / "song.mp3", first);
  EXPECT_TRUE(volumes->copyToRoot((src / "song.mp3").string(), 'G', "song.mp3"));
  testing::writeFile(src / "song.mp3", second);
  EXPECT_TRUE(volumes->copyToRoot((src / "song.mp3").string(), 'G', "song.mp3"));  // replaces
  EXPECT_TRUE(volumes->copyToRoot((src / "song.mp3").string(), 'G', "A long name.mp3"));
  EXPECT_FALSE(volumes->copyToRoot((src / "missing.mp3").string(), 'G', "missing.mp3"));

  Tool type = fatTool({"mtype", "-i", img, "::/song.mp3"});
  EXPECT_EQ(type.code, 0u);
  EXPECT_EQ(type.out, second);
  Tool dir = fatTool({"mdir", "-b", "-i", img, "::/"});
  EXPECT_NE(dir.out.find("A long name.mp3"), std::string::npos) << dir.out;
  EXPECT_EQ(fatTool({"fsck.fat", "-n", img}).code, 0u);
  EXPECT_TRUE(checkVolume(*volumes, 'G'));

  // A damaged volume (no sector size in its boot sector): the check says so.
  {
    std::fstream f(img, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(11);
    f.put('\0');
    f.put('\0');
  }
  EXPECT_FALSE(checkVolume(*volumes, 'G'));
}

TEST_F(SimVolumes, AbsentPlayer) {
  EXPECT_FALSE(volumes->format('Q', false, true, "X", {}));
  EXPECT_FALSE(volumes->setLabel('Q', "X"));
  EXPECT_EQ(volumes->readLabel('Q'), "");
  EXPECT_FALSE(volumes->isReadable('Q'));
  EXPECT_FALSE(volumes->copyToRoot(FAKE_TOOL, 'Q', "x"));
  EXPECT_FALSE(volumes->check('Q'));
}

// A pulled player has no volume: nothing is done to its image, every operation fails.
TEST_F(SimVolumes, UnpluggedPlayerHasNoVolume) {
  std::string img = player('H', 64);
  ASSERT_TRUE(volumes->format('H', false, false, "OLD", {}));
  std::string error;
  ASSERT_TRUE(tarnsim::setPlugged(root.string(), 'H', false, error)) << error;
  auto before = std::filesystem::last_write_time(img);
  EXPECT_FALSE(volumes->format('H', false, false, "NEW", {}));
  EXPECT_FALSE(volumes->setLabel('H', "NEW"));
  EXPECT_EQ(volumes->readLabel('H'), "");
  EXPECT_FALSE(volumes->isReadable('H'));
  EXPECT_FALSE(volumes->copyToRoot(FAKE_TOOL, 'H', "x"));
  EXPECT_FALSE(volumes->check('H'));
  EXPECT_EQ(std::filesystem::last_write_time(img), before);
  EXPECT_EQ(fatTool({"fatlabel", img}).out.substr(0, 3), "OLD");
}

TEST_F(SimVolumes, TopologyIndexesPlayersByLetter) {
  player('E', 1);
  player('A', 1);
  auto topology = platform::makeSimTopology(root.string());
  EXPECT_EQ(topology->serialIndex('E'), 4);
  EXPECT_EQ(topology->serialIndex('A'), 0);
  EXPECT_EQ(topology->serialIndex('F'), -1);
  EXPECT_EQ(platform::makeSimTopology("")->serialIndex('E'), -1);
}

// The port finder answers the port code `tarnsim show` gives for the indexed player.
TEST_F(SimVolumes, PortFinderAnswersTheStoredCode) {
  auto tarnsim = root / "tarnsim";
  testing::writeFile(tarnsim,
                     "#!/bin/sh\n"
                     "[ \"$1\" = show ] || exit 2\n"
                     "case \"$3\" in\n"
                     "  E) printf 'letter=E\\nport_code=4402123\\nplugged=1\\n' ;;\n"
                     "  F) printf 'port_code=3\\nplugged=0\\n' ;;\n"
                     "  *) exit 1 ;;\n"
                     "esac\n");
  chmod(tarnsim.c_str(), 0755);
  setenv("TARNSIM", tarnsim.c_str(), 1);
  struct Case {
    std::string root, index;
    uint32_t code;
  } cases[] = {{root.string(), "4", 4402123}, {root.string(), "5", 0}, {root.string(), "6", 0},
               {root.string(), "x", 0},       {"", "4", 0}};
  for (const auto& c : cases) {
    platform::ChildCommand cmd;
    cmd.argv = {USBDOS, c.index};
    cmd.extraEnv = {{"TARN_SIM", c.root}};
    platform::ChildResult r = platform::runChild(cmd, {10, 0, {}});
    EXPECT_TRUE(r.ended());
    EXPECT_EQ(r.exitCode, c.code) << c.index;
  }
  unsetenv("TARNSIM");
}

}  // namespace
}  // namespace station
#endif

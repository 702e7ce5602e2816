// The wrappers on a scripted launcher: what runs, and what each answer becomes.
#include "support/recording_station.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <thread>

namespace station {
namespace {

using testing::FakeLauncher;
using testing::RecordingStation;

TEST(DeviceTool, FlashIdentificationFromExitCode) {
  struct Case {
    uint32_t code, id;
  } cases[] = {{0xECD35195, 0xECD35195}, {0x7F7F7F7F, 0},      {65535, 0}, {1, 0},
               {0xFFFFFFFF, 0},          {0x0000FFFE, 0xFFFE}, {0x00010000, 0x00010000}};
  for (const auto& c : cases) {
    FakeLauncher launcher;
    RecordingStation view;
    DeviceTool tool(launcher, view, view);
    launcher.answer({c.code});
    EXPECT_EQ(tool.readFlashId('E'), c.id);
  }
  FakeLauncher launcher;
  RecordingStation view;
  DeviceTool tool(launcher, view, view);
  launcher.cannotStart();
  EXPECT_EQ(tool.readFlashId('E'), 0u);
}

TEST(DeviceTool, ManagerEndAcceptsZeroAndOne) {
  for (uint32_t code : {0u, 1u, 2u, 65535u}) {
    FakeLauncher launcher;
    RecordingStation view;
    DeviceTool tool(launcher, view, view, "/nonexistent");
    launcher.answer({code});
    EXPECT_EQ(tool.writeManagerEnd('E'), code <= 1) << code;
    // An unreadable image sums to 0.
    EXPECT_EQ(launcher.lines().back(), ".\\misc\\devcmd.exe E: wt_mgr_e 0");
    EXPECT_TRUE(launcher.runs.back().pumps);
  }
}

TEST(DeviceTool, CouldNotStartIsFalseOrZero) {
  FakeLauncher launcher;
  RecordingStation view;
  DeviceTool tool(launcher, view, view);
  launcher.cannotStart();
  EXPECT_FALSE(tool.probe('E'));
  EXPECT_FALSE(tool.badBlockPoll('E'));  // true only when started
  EXPECT_FALSE(tool.writeManagerEnd('E'));
  EXPECT_EQ(tool.sizeMB('E'), 0u);
  EXPECT_EQ(tool.secondReset('E'), 0u);
  EXPECT_EQ(tool.portFinder(2), 0u);
}

TEST(DeviceTool, ManagerLengthAndChecksumFromTheSameFile) {
  auto dir = testing::scratchDir("mgr");
  std::string image(40000, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 3);
  // Only the upper-case name exists; the length and checksum must still find it.
  testing::writeFile(dir / "FSM.BIN", image);
  unsigned sum = 0;
  for (unsigned char c : image) sum = (sum + c) & 0xFFFF;

  FakeLauncher launcher;
  RecordingStation view;
  DeviceTool tool(launcher, view, view, dir.string());
  EXPECT_TRUE(tool.writeManagerStart('G'));
  EXPECT_TRUE(tool.writeManager('G'));
  EXPECT_TRUE(tool.writeManagerEnd('G'));
  std::vector<std::string> want = {".\\misc\\devcmd.exe G: wt_mgr_s 40000",
                                   ".\\misc\\devcmd.exe G: wt_mgr .\\misc\\FSM.BIN",
                                   ".\\misc\\devcmd.exe G: wt_mgr_e " + std::to_string(sum)};
  EXPECT_EQ(launcher.lines(), want);
#ifndef _WIN32
  EXPECT_EQ(launcher.runs[1].command.argv.back(), (dir / "FSM.BIN").string());
  std::filesystem::rename(dir / "FSM.BIN", dir / "fsm.bin");
  EXPECT_EQ(managerFilePath(dir.string()), (dir / "fsm.bin").string());
#endif
  EXPECT_EQ(managerChecksum(managerFilePath(dir.string())), sum);
  std::filesystem::remove_all(dir);
}

TEST(DeviceTool, ManagerStartWithoutImageRunsNothing) {
  FakeLauncher launcher;
  RecordingStation view;
  DeviceTool tool(launcher, view, view, "/nonexistent");
  EXPECT_FALSE(tool.writeManagerStart('E'));
  EXPECT_TRUE(launcher.runs.empty());
}

TEST(PackageFiles, NamesPerKindAndStage) {
  struct Case {
    std::vector<std::string> list;
    PackageKind kind;
    int start, write;  // index chosen by wt_pgr_s and by wt_pgr
  } cases[] = {
      {{"C:\\a\\PROGRAM.BIN"}, PackageKind::Firmware, 0, 0},
      {{"C:\\a\\program.bin"}, PackageKind::Firmware, 0, 0},
      {{"C:\\a\\Program.Bin"}, PackageKind::Firmware, 0, -1},
      {{"C:\\a\\prefer.dat", "D:\\song.mp3", "E:\\b\\prefer.dat"}, PackageKind::Preferences, 2, 2},
      {{"C:\\a\\Prefer.DAT"}, PackageKind::Preferences, 0, -1},
      {{"x\\Image.ISO", "y\\image.iso", "z\\image.ISO"}, PackageKind::DiskImage, 2, 2},
      {{"x\\IMAGE.ISO", "y\\Image.iso"}, PackageKind::DiskImage, 0, 0},
      {{"x\\program.bin.bak", "program.bin"}, PackageKind::Firmware, 1, 1},
      {{"/home/op/fw/program.bin"}, PackageKind::Firmware, 0, 0},
      {{}, PackageKind::Firmware, -1, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(choosePackageFile(c.list, c.kind, true), c.start) << c.list.size();
    EXPECT_EQ(choosePackageFile(c.list, c.kind, false), c.write) << c.list.size();
  }
}

TEST(PackageFiles, MixedCaseProgramFoundOnlyByTheStart) {
  auto dir = testing::scratchDir("pkg");
  testing::sizedFile(dir / "Program.Bin", 200000);
  FakeLauncher launcher;
  RecordingStation view;
  view.files = {(dir / "Program.Bin").string()};
  DeviceTool tool(launcher, view, view);
  EXPECT_TRUE(tool.writePackageStart('E', PackageKind::Firmware));
  EXPECT_EQ(launcher.lines().back(), ".\\misc\\devcmd.exe E: wt_pgr_s 200000");
  EXPECT_EQ(tool.packageFileIndex(PackageKind::Firmware), 0);
  EXPECT_FALSE(tool.writePackage('E', PackageKind::Firmware));
  EXPECT_EQ(launcher.runs.size(), 1u);  // no run for the download
  EXPECT_EQ(tool.packageFileIndex(PackageKind::Firmware), -1);
  std::filesystem::remove_all(dir);
}

TEST(PackageFiles, DownloadLinesPerKind) {
  FakeLauncher launcher;
  RecordingStation view;
  view.files = {"C:\\fw\\program.bin", "C:\\fw\\prefer.dat", "C:\\cd\\image.iso"};
  DeviceTool tool(launcher, view, view);
  EXPECT_TRUE(tool.writePackage('E', PackageKind::Firmware));
  EXPECT_TRUE(tool.writePackage('E', PackageKind::Preferences));
  EXPECT_TRUE(tool.writePackage('E', PackageKind::DiskImage));
  std::vector<std::string> want = {".\\misc\\devcmd.exe E: wt_pgr \"C:\\fw\\program.bin\" ",
                                   ".\\misc\\devcmd.exe E: wt_pgr  \"C:\\fw\\prefer.dat\" ",
                                   ".\\misc\\devcmd.exe E: wt_pgr  \"C:\\cd\\image.iso\" "};
  EXPECT_EQ(launcher.lines(), want);
  EXPECT_EQ(tool.packageFileIndex(PackageKind::Firmware), 0);
  EXPECT_EQ(tool.packageFileIndex(PackageKind::Preferences), 1);
  EXPECT_EQ(tool.packageFileIndex(PackageKind::DiskImage), 2);
  // An entry that cannot be read has no length: no start request.
  EXPECT_FALSE(tool.writePackageStart('E', PackageKind::Firmware));
  EXPECT_EQ(launcher.runs.size(), 3u);
}

// Each run's tool keeps the positions its own downloads used, whatever other runs on
// other copy lists do meanwhile.
TEST(PackageFiles, EachRunKeepsItsOwnIndexes) {
  std::vector<std::string> list;
  for (int i = 0; i < 200; ++i) list.push_back("C:\\f\\song" + std::to_string(i) + ".mp3");
  std::vector<std::thread> workers;
  std::vector<int> found(8, -2);
  for (int t = 0; t < 8; ++t)
    workers.emplace_back([&list, &found, t] {
      FakeLauncher launcher;
      RecordingStation view;
      view.files = list;
      view.files[static_cast<size_t>(20 * t)] = "C:\\f\\PROGRAM.BIN";
      DeviceTool tool(launcher, view, view);
      for (int n = 0; n < 50; ++n) tool.writePackage('E', PackageKind::Firmware);
      found[static_cast<size_t>(t)] = tool.packageFileIndex(PackageKind::Firmware);
    });
  for (auto& w : workers) w.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(found[static_cast<size_t>(t)], 20 * t);
}

// The poll loop itself: every two-byte answer is heard as its percentage, 0x6401 ends it
// done, 1 failed; the row it makes of them is the engine's (system_device_test).
TEST(BlankingCheck, PollsUntilDoneOrFailed) {
  struct Case {
    std::vector<uint32_t> answers;
    bool result;
    std::vector<int> percents;
  };
  const Case cases[] = {
      {{0x1400, 0x3200, 0x6401}, true, {20, 50, 100}},
      {{0x1400, 1}, false, {20, 0}},
      {{0, 0x0A00, 0x6401}, true, {0, 10, 100}},
      // A tool that died gives no two-byte answer: the loop ends instead of polling for ever.
      {{0x1400, 0xC0000005}, false, {20}},
  };
  for (const auto& c : cases) {
    FakeLauncher launcher;
    RecordingStation view;
    for (uint32_t a : c.answers) launcher.answer({a});
    DeviceTool tool(launcher, view, view);
    std::vector<int> heard;
    EXPECT_EQ(tool.blankCheckPoll('H', [&](int percent) { heard.push_back(percent); }), c.result);
    EXPECT_EQ(heard, c.percents);
    EXPECT_TRUE(view.events.empty()) << "the tool writes no row";
    EXPECT_EQ(launcher.runs.size(), c.answers.size());
    for (const auto& r : launcher.runs) {
      EXPECT_EQ(r.command.windowsLine, ".\\misc\\devcmd.exe H: blk_chk_p");
      EXPECT_EQ(r.pollMs, 200u);
    }
  }
}

TEST(BlankingCheck, ToolThatCannotStart) {
  FakeLauncher launcher;
  RecordingStation view;
  launcher.cannotStart();
  DeviceTool tool(launcher, view, view);
  bool heard = false;
  EXPECT_FALSE(tool.blankCheckPoll('E', [&](int) { heard = true; }));
  EXPECT_FALSE(heard);
}

}  // namespace
}  // namespace station

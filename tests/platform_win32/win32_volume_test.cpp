// The Windows volume services and the command processor under Wine.
#include "platform/process.h"
#include "platform/volume.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

namespace {

TEST(Win32Volumes, AbsentDrive) {
  auto volumes = platform::makeVolumes();
  char free = 0;
  DWORD used = GetLogicalDrives();
  for (char d = 'Q'; d <= 'Y' && !free; ++d)
    if (!(used & (1u << (d - 'A')))) free = d;
  ASSERT_NE(free, 0);
  EXPECT_EQ(volumes->readLabel(free), "");
  EXPECT_FALSE(volumes->isReadable(free));
  EXPECT_FALSE(volumes->setLabel(free, "BOX"));
  EXPECT_FALSE(volumes->copyToRoot("C:\\windows\\win.ini", free, "win.ini"));
}

TEST(Win32Volumes, ReadableDriveAndCopy) {
  auto volumes = platform::makeVolumes();
  EXPECT_TRUE(volumes->isReadable('C'));
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string src = std::string(temp) + "tarn_copy_src.txt";
  { std::ofstream(src) << "first"; }
  ASSERT_TRUE(volumes->copyToRoot(src, 'C', "tarn_copy_dst.txt"));
  { std::ofstream(src) << "second"; }
  ASSERT_TRUE(volumes->copyToRoot(src, 'C', "tarn_copy_dst.txt"));  // replaces
  std::string got;
  std::ifstream("C:\\tarn_copy_dst.txt") >> got;
  EXPECT_EQ(got, "second");
  DeleteFileA("C:\\tarn_copy_dst.txt");
  DeleteFileA(src.c_str());
}

// The hidden command processor runs and its exit code comes back, 259 included.
TEST(Win32Process, CommandProcessorExitCodes) {
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  for (unsigned code : {0u, 1u, 259u}) {
    platform::ChildCommand cmd;
    cmd.windowsLine = std::string(sys) + "\\cmd.exe /c exit " + std::to_string(code);
    cmd.window = platform::ChildWindow::Hidden;
    platform::ChildResult r = platform::runChild(cmd, {30, 0, {}});
    EXPECT_TRUE(r.ended());
    EXPECT_EQ(r.exitCode, code);
  }
  platform::ChildCommand missing;
  missing.windowsLine = ".\\misc\\no-such-tool.exe E: rd_id";
  EXPECT_EQ(platform::runChild(missing, {30, 0, {}}).outcome, platform::ChildOutcome::NotStarted);
}

// Wine has neither format.com nor chkdsk.exe: the command processor's failure is the
// operation's false, and nothing waits past it.
TEST(Win32Volumes, FormatAndCheckOfAnAbsentDriveFail) {
  char temp[MAX_PATH], old[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  GetCurrentDirectoryA(MAX_PATH, old);
  std::string station = std::string(temp) + "tarn_station";
  CreateDirectoryA(station.c_str(), nullptr);
  CreateDirectoryA((station + "\\misc").c_str(), nullptr);
  std::string shipped = std::string("Z:") + TARN_SOURCE_DIR + "/misc/response.txt";
  for (char& c : shipped)
    if (c == '/') c = '\\';
  ASSERT_TRUE(CopyFileA(shipped.c_str(), (station + "\\misc\\response.txt").c_str(), FALSE));
  SetCurrentDirectoryA(station.c_str());
  auto volumes = platform::makeVolumes();
  EXPECT_FALSE(volumes->format('Y', false, true, "MY_AUDIO", [] {}));
  EXPECT_FALSE(volumes->check('Y'));
  SetCurrentDirectoryA(old);
}

}  // namespace

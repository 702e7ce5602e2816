// The exact command lines, waits and exit-code readings of every device operation.
#include "platform/process.h"
#include "platform/volume.h"
#include "station/ops/device_tool.h"

#include <gtest/gtest.h>

namespace station {
namespace {

#ifdef _WIN32
const char* kTool = ".\\misc\\devcmd.exe";
#else
const char* kTool = "./misc/devcmd";
#endif

struct LineCase {
  ToolOp op;
  std::string param;
  std::string windowsLine;
  std::vector<std::string> args;  // after the tool's path
  unsigned pollMs;
  bool pump;
};

TEST(ToolCommandLine, EveryWrapperRendersExactly) {
  const LineCase cases[] = {
      {ToolOp::Probe, "", ".\\misc\\devcmd.exe E:", {"E:"}, 30, false},
      {ToolOp::ChkIsUpdatedisk, "", ".\\misc\\devcmd.exe E: chk_is_updatedisk",
       {"E:", "chk_is_updatedisk"}, 30, true},
      {ToolOp::SecondReset, "", ".\\misc\\devcmd.exe E: 2st_reset", {"E:", "2st_reset"}, 200, false},
      {ToolOp::IsTarn, "", ".\\misc\\devcmd.exe E: IS_TARN", {"E:", "IS_TARN"}, 30, true},
      {ToolOp::WtMgrS, "40960", ".\\misc\\devcmd.exe E: wt_mgr_s 40960", {"E:", "wt_mgr_s", "40960"},
       30, false},
      {ToolOp::WtMgr, "./misc/fsm.bin", ".\\misc\\devcmd.exe E: wt_mgr .\\misc\\FSM.BIN",
       {"E:", "wt_mgr", "./misc/fsm.bin"}, 30, false},
      {ToolOp::WtMgrE, "65535", ".\\misc\\devcmd.exe E: wt_mgr_e 65535", {"E:", "wt_mgr_e", "65535"},
       30, true},
      {ToolOp::ReadBndId, "", ".\\misc\\devcmd.exe E: read_bnd_id", {"E:", "read_bnd_id"}, 200, false},
      {ToolOp::SetSysArea, "12", ".\\misc\\devcmd.exe E: set_sys_area 12",
       {"E:", "set_sys_area", "12"}, 200, false},
      {ToolOp::GetFlashItem, "", ".\\misc\\devcmd.exe E: get_flash_item", {"E:", "get_flash_item"},
       200, false},
      {ToolOp::RdId, "", ".\\misc\\devcmd.exe E: rd_id", {"E:", "rd_id"}, 30, false},
      {ToolOp::WtCfg, ".\\misc\\FT 1.txt", ".\\misc\\devcmd.exe E: wt_cfg \"\".\\misc\\FT 1.txt\"\"",
       {"E:", "wt_cfg", ".\\misc\\FT 1.txt"}, 30, false},
      {ToolOp::BlkChkS, "", ".\\misc\\devcmd.exe E: blk_chk_s 4 1024", {"E:", "blk_chk_s", "4", "1024"},
       30, false},
      {ToolOp::BlkChkP, "", ".\\misc\\devcmd.exe E: blk_chk_p", {"E:", "blk_chk_p"}, 200, true},
      {ToolOp::ChkBadS, "", ".\\misc\\devcmd.exe E: chk_bad_s 4 4096", {"E:", "chk_bad_s", "4", "4096"},
       30, false},
      {ToolOp::ChkBadP, "", ".\\misc\\devcmd.exe E: chk_bad_p", {"E:", "chk_bad_p"}, 1, false},
      {ToolOp::WtPgrS, "200000", ".\\misc\\devcmd.exe E: wt_pgr_s 200000",
       {"E:", "wt_pgr_s", "200000"}, 30, false},
      {ToolOp::WtPgr, "C:\\fw\\program.bin", ".\\misc\\devcmd.exe E: wt_pgr \"C:\\fw\\program.bin\" ",
       {"E:", "wt_pgr", "C:\\fw\\program.bin"}, 30, false},
      {ToolOp::WtPgrPackage, "C:\\my files\\prefer.dat",
       ".\\misc\\devcmd.exe E: wt_pgr  \"C:\\my files\\prefer.dat\" ",
       {"E:", "wt_pgr", "C:\\my files\\prefer.dat"}, 30, false},
      {ToolOp::WtPgrE, "", ".\\misc\\devcmd.exe E: wt_pgr_e", {"E:", "wt_pgr_e"}, 30, false},
      {ToolOp::ChkUpdateSuccess, "", ".\\misc\\devcmd.exe E: chk_update_success",
       {"E:", "chk_update_success"}, 200, false},
      {ToolOp::GetSizeMB, "", ".\\misc\\devcmd.exe E: get_size_MB", {"E:", "get_size_MB"}, 200, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.windowsLine);
    platform::ChildCommand cmd = toolCommand(c.op, 'E', c.param);
    EXPECT_EQ(cmd.windowsLine, c.windowsLine);
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(cmd.argv, argv);
    EXPECT_EQ(cmd.window, platform::ChildWindow::None);
    EXPECT_EQ(toolOpInfo(c.op).pollMs, c.pollMs);
    EXPECT_EQ(toolOpInfo(c.op).pump, c.pump);
  }
}

TEST(ToolCommandLine, LongPathsAreNotCut) {
  std::string path = "C:\\" + std::string(400, 'd') + "\\program.bin";
  EXPECT_EQ(toolCommand(ToolOp::WtPgr, 'F', path).windowsLine,
            ".\\misc\\devcmd.exe F: wt_pgr \"" + path + "\" ");
}

TEST(ToolCommandLine, PortFinder) {
  platform::ChildCommand cmd = portFinderCommand(3);
  EXPECT_EQ(cmd.windowsLine, ".\\misc\\usbdos.exe 3");
  EXPECT_EQ(cmd.argv.back(), "3");
  EXPECT_EQ(cmd.window, platform::ChildWindow::None);
}

struct MappingCase {
  ToolOp op;
  std::vector<uint32_t> yes, no;
};

TEST(ToolExitCode, YesNoOperations) {
  const MappingCase cases[] = {
      {ToolOp::Probe, {225}, {0, 1, 224, 226, 227}},
      {ToolOp::ChkIsUpdatedisk, {0}, {1, 259}},
      {ToolOp::IsTarn, {1, 2, 259}, {0}},
      {ToolOp::WtMgrS, {0}, {1, 65535}},
      {ToolOp::WtMgr, {0}, {1}},
      {ToolOp::WtMgrE, {0, 1}, {2, 65535, 0xFFFFFFFF}},
      {ToolOp::WtCfg, {0}, {1}},
      {ToolOp::BlkChkS, {0}, {1}},
      {ToolOp::ChkBadS, {0}, {1}},
      {ToolOp::ChkBadP, {0, 1, 25601, 0xFFFFFFFF}, {}},
      {ToolOp::WtPgrS, {0}, {1}},
      {ToolOp::WtPgr, {0}, {1}},
      {ToolOp::WtPgrPackage, {0}, {1}},
      {ToolOp::WtPgrE, {0}, {1}},
      {ToolOp::ChkUpdateSuccess, {0}, {1}},
  };
  for (const auto& c : cases) {
    for (uint32_t code : c.yes) EXPECT_TRUE(toolSucceeded(c.op, code)) << toolOpInfo(c.op).word << " " << code;
    for (uint32_t code : c.no) EXPECT_FALSE(toolSucceeded(c.op, code)) << toolOpInfo(c.op).word << " " << code;
  }
}

TEST(ToolExitCode, NumericOperations) {
  struct Case {
    ToolOp op;
    uint32_t code, value;
  } cases[] = {
      {ToolOp::RdId, 0xECD35195, 0xECD35195}, {ToolOp::RdId, 0x7F7F7F7F, 0},
      {ToolOp::RdId, 0, 0},                   {ToolOp::RdId, 0xFFFFFFFF, 0},
      {ToolOp::RdId, 65535, 0},               {ToolOp::RdId, 1, 0},  // the tool failed
      {ToolOp::ReadBndId, 0x1234, 0x34},      {ToolOp::ReadBndId, 65535, 255},
      {ToolOp::SecondReset, 0xECD35195, 0xECD35195},
      {ToolOp::SetSysArea, 1, 1},             {ToolOp::GetFlashItem, 4, 4},
      {ToolOp::GetSizeMB, 259, 259},          {ToolOp::GetSizeMB, 7629, 7629},
  };
  for (const auto& c : cases) EXPECT_EQ(toolValue(c.op, c.code), c.value) << c.code;
}

TEST(WindowsStart, CreationFlagsAndStartRecord) {
  auto tool = platform::windowsStartParams(platform::ChildWindow::None);
  EXPECT_EQ(tool.creationFlags, 0x08000080u);
  EXPECT_EQ(tool.startFlags, 0u);
  auto shell = platform::windowsStartParams(platform::ChildWindow::Hidden);
  EXPECT_EQ(shell.creationFlags, 0x80u);
  EXPECT_EQ(shell.startFlags, 1u);  // STARTF_USESHOWWINDOW
  EXPECT_EQ(shell.showWindow, 0u);  // SW_HIDE
}

TEST(VolumeCommandLine, FormatAndCheck) {
  std::string nt = platform::commandProcessor(true, "C:\\WINDOWS\\system32", "C:\\WINDOWS");
  std::string dos = platform::commandProcessor(false, "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS");
  EXPECT_EQ(nt, "C:\\WINDOWS\\system32\\cmd.exe");
  EXPECT_EQ(dos, "C:\\WINDOWS\\Command\\command.com");
  EXPECT_EQ(platform::formatCommandLine(nt, 'E', false, "MY_AUDIO", true),
            "C:\\WINDOWS\\system32\\cmd.exe /c format.com E: /V:MY_AUDIO /FS:FAT32 < .\\misc\\response.txt");
  EXPECT_EQ(platform::formatCommandLine(nt, 'F', true, "BOX", false),
            "C:\\WINDOWS\\system32\\cmd.exe /c format.com F: /Q /V:BOX /FS:FAT < .\\misc\\response.txt");
  EXPECT_EQ(platform::formatCommandLine(dos, 'G', false, "", false),
            "C:\\WINDOWS\\Command\\command.com /c format.com G: /V: /FS:FAT < .\\misc\\response.txt");
  EXPECT_EQ(platform::checkCommandLine(nt, 'E'), "C:\\WINDOWS\\system32\\cmd.exe /c chkdsk.exe E: /X");
  EXPECT_EQ(platform::checkCommandLine(dos, 'E'), "C:\\WINDOWS\\Command\\command.com /c chkdsk.exe E: /X");
  EXPECT_EQ(platform::kFormatPollMs * platform::kFormatMaxPolls, 100000u);
  EXPECT_EQ(platform::kCheckPollMs * platform::kCheckMaxPolls, 2000u);
}

TEST(ResultChannel, Parsing) {
  struct Case {
    std::string text;
    bool ok;
    uint32_t value;
  } cases[] = {
      {"3973271957\n", true, 3973271957u}, {"259\n", true, 259}, {"0\n", true, 0},
      {"4294967295", true, 4294967295u},   {"", false, 0},       {"\n", false, 0},
      {"4294967296\n", false, 0},          {"x1\n", false, 0},
  };
  for (const auto& c : cases) {
    uint32_t v = 12345;
    EXPECT_EQ(platform::parseResultChannel(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace station

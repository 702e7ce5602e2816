// The built program as the station and an operator meet it: output, exit codes and,
// on POSIX, the result descriptor for values wider than 8 bits.
#include <gtest/gtest.h>

#include <regex>

#include "tool_process.h"

namespace devcmd::test {
namespace {

// Windows consoles and pipes get CR LF from text-mode output.
std::string plain(std::string s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i)
    if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
  return out;
}

TEST(DevcmdProcess, NoArgumentsPrintBannerAndUsage) {
  const ToolRun r = runDevcmd({}, {}, true);
  ASSERT_TRUE(r.started) << devcmdPath();
  EXPECT_EQ(r.exitCode, 1u);
  const std::string out = plain(r.out);
  EXPECT_TRUE(std::regex_search(
      out, std::regex("^\ndevcmd\\.exe, the tool is for communicating with Tarn device\\.\n"
                      "Building date: [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}, "
                      "[0-9]{2}:[0-9]{2}:[0-9]{2}\n\n")))
      << out;
  size_t usageLines = 0;
  for (size_t at = 0; (at = out.find("\n   devcmd e: ", at)) != std::string::npos; ++at)
    ++usageLines;
  EXPECT_EQ(usageLines, 29u);
  const std::string last = "\n   devcmd e: read_bnd_id                 -- read bunding ID\n";
  ASSERT_GT(out.size(), last.size());
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
#ifndef _WIN32
  EXPECT_EQ(r.resultText, "1\n");
#endif
}

TEST(DevcmdProcess, MissingDriveReportsTheOpenFailure) {
  const ToolRun r = runDevcmd({"Q:"}, {}, true);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_TRUE(std::regex_match(plain(r.out),
                               std::regex("CreateFile, Error opening Q:\\. Error: [0-9]+\n")))
      << r.out;
#ifndef _WIN32
  EXPECT_EQ(plain(r.out), "CreateFile, Error opening Q:. Error: 2\n");
  EXPECT_EQ(r.resultText, "1\n");
#endif
}

#ifdef _WIN32
// Wine opens \\.\C: but has no SCSI pass-through for it: every request fails, which is
// enough to see a failure value wider than 8 bits come through the exit code. Not run
// on a real Windows machine, where C: is the system disk.
TEST(DevcmdProcess, ExitCodeCarriesAll32Bits) {
  if (!underWine()) GTEST_SKIP() << "needs Wine's C: drive";
  const ToolRun r = runDevcmd({"C:", "rd_id"});
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(std::regex_match(plain(r.out), std::regex("cmd_bFlashReadID, error: [0-9]+  \n")))
      << r.out;
  EXPECT_EQ(r.exitCode, 65535u);

  const ToolRun word = runDevcmd({"C:", "RD_ID"});
  EXPECT_EQ(word.exitCode, 1u);
  EXPECT_EQ(word.out, "");
}
#else
// /dev/null opens for reading and writing but refuses SG_IO, like a drive that is not
// a player.
TEST(DevcmdProcess, ResultDescriptorCarriesTheWholeValue) {
  struct Case {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::string out;
    uint32_t status;
    std::string result;
  };
  const Case cases[] = {
      {{"/dev/null", "rd_id"}, {}, "cmd_bFlashReadID, error: 25  \n", 255, "65535\n"},
      {{"E:", "get_lcd_size"}, {{"DEVCMD_DRIVE_E", "/dev/null"}}, "", 255, "65535\n"},
      {{"E:", "get_flash_item"}, {{"DEVCMD_DRIVE_E", "/dev/null"}}, "", 0, "0\n"},
      {{"e:", "chk_bad_p"}, {{"DEVCMD_DRIVE_E", "/dev/null"}},
       "cmd_bCheckBadPolling==> start mass-sotrage, error: 25  \n", 1, "1\n"},
      {{"/dev/null"}, {}, "cmd_bSetDelayCount, error: 25  \n", 1, "1\n"},
      {{"/dev/null", "nosuch"}, {}, "", 1, "1\n"},
      {{"/dev/null", "wt_mgr_s"}, {}, "wt_mgr_s: too few parameters\n", 1, "1\n"},
      {{"E:", "rd_id"}, {}, "CreateFile, Error opening E:. Error: 2\n", 1, "1\n"},
      {{"/no/such/device", "rd_id"}, {}, "CreateFile, Error opening /no/such/device. Error: 2\n",
       1, "1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const ToolRun r = runDevcmd(c.args, c.env, true);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.exitCode, c.status);
    EXPECT_EQ(r.resultText, c.result);
  }
}

TEST(DevcmdProcess, WithoutTheVariableOnlyTheStatusComes) {
  const ToolRun r = runDevcmd({"/dev/null", "rd_id"});
  EXPECT_EQ(r.exitCode, 255u);
  EXPECT_EQ(r.resultText, "");
}
#endif

}  // namespace
}  // namespace devcmd::test

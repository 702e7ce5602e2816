// What a run prints and which exit value it ends with, for every sub-command and every
// ending, driven in-process against a scripted device.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "devcmd/commands.h"
#include "devcmd/numbers.h"
#include "fake_device.h"

namespace devcmd::test {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kDoneLine = kDone;

struct ContractCase {
  std::vector<std::string> args;
  std::vector<Answer> answers;
  std::string out;
  uint32_t code;
};

Answer ok(Bytes reply) { return {true, std::move(reply)}; }
Answer fail(uint32_t error) { return {false, {}, error}; }

// clang-format off
const ContractCase kContract[] = {
  // Four-byte answers, packed first byte high.
  {{"E:", "rd_id"}, {ok({0xEC, 0xD3, 0x51, 0x95, 0x77})}, "flash ID: EC, D3, 51, 95\n", 3973271957u},
  {{"E:", "rd_id"}, {fail(31)}, "cmd_bFlashReadID, error: 31  \n", 65535},
  {{"E:", "reset"}, {ok({0x01, 0x02, 0x03, 0x04, 0x05})}, "flash ID: 01, 02, 03, 04\n", 0x01020304},
  {{"E:", "reset"}, {fail(5)}, "cmd_bReset, error: 5  \n", 65535},
  {{"E:", "2st_reset"}, {ok({0x00, 0x00, 0x01, 0x03})}, "flash ID: 00, 00, 01, 03\n", 259},
  {{"E:", "2st_reset"}, {fail(21)}, "2st_reset, error: 21  \n", 65535},
  {{"E:", "get_lcd_size"}, {ok({0x00, 0x80, 0x00, 0xA0})}, "", 0x008000A0},
  {{"E:", "get_lcd_size"}, {fail(21)}, "", 65535},
  {{"E:", "q_1st_burn"}, {ok({0x01})}, "SUB_SCSI_OP_QUERYFIRSTBURN!!!\nreturn 01\n", 1},
  {{"E:", "q_1st_burn"}, {fail(2)}, "SUB_SCSI_OP_QUERYFIRSTBURN!!!\nq_1st_burn, error: 2  \n", 65535},
  // Compare-form answers: a failed transfer reads as zeros.
  {{"E:", "get_flash_item"}, {ok({0x02})}, "", 2},
  {{"E:", "get_flash_item"}, {ok({0xFF})}, "", 255},
  {{"E:", "get_flash_item"}, {fail(31)}, "", 0},
  {{"E:", "IS_TARN"}, {ok({'T', 'A', 'R', 'N'})}, "", 1},
  {{"E:", "IS_TARN"}, {ok({'T', 'A', 'R', 'M'})}, "", 0},
  {{"E:", "IS_TARN"}, {ok({'t', 'A', 'R', 'N'})}, "", 0},
  {{"E:", "IS_TARN"}, {fail(31)}, "", 0},
  {{"E:", "IS_TARN"}, {{false, {'T', 'A', 'R', 'N'}, 31, true}}, "", 1},
  {{"E:", "chk_is_updatedisk"}, {ok({'T', 'A', 'R', 'N'})}, "", 0},
  {{"E:", "chk_is_updatedisk"}, {ok({'X', 'A', 'R', 'N'})}, "", 1},
  {{"E:", "chk_is_updatedisk"}, {fail(31)}, "", 1},
  {{"E:", "read_bnd_id"}, {ok({0x3C})}, "Bunding ID: 3C\n", 0x3C},
  {{"E:", "read_bnd_id"}, {fail(1117)}, "read_bnd_id, error: 1117  \n", 0},
  // Polls: byte 1 is the percentage, byte 0 the status.
  {{"E:", "chk_bad_p"}, {ok({0x01, 0x64})}, "ret=1, 100\n", 25601},
  {{"E:", "chk_bad_p"}, {ok({0x00, 0x32})}, "ret=0, 50\n", 12800},
  {{"E:", "chk_bad_p"}, {fail(31)}, "cmd_bCheckBadPolling==> start mass-sotrage, error: 31  \n", 1},
  {{"E:", "blk_chk_p"}, {ok({0x00, 0x14})}, "ret=0, 20\n", 5120},
  {{"E:", "blk_chk_p"}, {ok({0x01, 0x00})}, "ret=1, 0\n", 1},
  {{"E:", "blk_chk_p"}, {fail(31)}, "cmd_bBlankingCheckPolling, error: 31  \n", 1},
  // Reversed on purpose.
  {{"E:", "erase_nor_flash"}, {ok({})}, "", 1},
  {{"E:", "erase_nor_flash"}, {fail(121)}, "cmd_bEraseNorFlash, error: 121  \n", 0},
  // Status requests: bit 0 of the reply decides; the error code may be 0.
  {{"E:", "chk_bad_s", "4", "4096"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "chk_bad_s"}, {ok({0x00})}, "cmd_bCheckBadStart, error: 0  \n", 1},
  {{"E:", "blk_chk_s", "4", "1024"}, {ok({0x03})}, kDoneLine, 0},
  {{"E:", "blk_chk_s", "4", "1024"}, {ok({0x02})}, "cmd_bBlankingCheckStart, error: 0  \n", 1},
  {{"E:", "era", "0", "9"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "era", "0", "9"}, {fail(31)}, "cmd_bFlashEraseBlk, error: 31  \n", 1},
  {{"E:", "chg_clk", "3", "1", "2", "3", "4", "5", "6"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "chg_clk", "3", "1", "2", "3", "4", "5", "6"}, {ok({0x00})}, "cmd_bChange8051ClockDiv, error: 0  \n", 1},
  {{"E:", "chk_update_success"}, {ok({0x01, 0x00})}, kDoneLine, 0},
  {{"E:", "chk_update_success"}, {ok({0x00, 0x01})}, "cmd_bCheckFwParity, error: 0  \n", 1},
  {{"E:", "wt_mgr_s", "40960"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "wt_mgr_s", "40960"}, {fail(31)}, "cmd_bWriteFlashMgrStart, error: 31  \n", 1},
  {{"E:", "wt_mgr_e", "4660"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "wt_mgr_e", "4660"}, {ok({0x00})}, "cmd_bWriteFlashMgrEnd, error: 0  \n", 1},
  {{"E:", "wt_pgr_s", "1024"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "wt_pgr_s", "1024"}, {ok({0x00})}, "cmd_bWriteProgramStart, error: 0  \n", 1},
  {{"E:", "wt_pgr_e"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "wt_pgr_e"}, {ok({0x00})}, "cmd_bWriteProgramEnd, error: 0  \n", 1},
  {{"E:", "disk_decrypt"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "disk_decrypt"}, {ok({0x00})}, "cmd_bDiskDecrypt, error: 0  \n", 1},
  {{"E:", "check_passwd", "1234"}, {ok({0x01})}, kDoneLine, 0},
  {{"E:", "check_passwd", "1234"}, {ok({0x00})}, "cmd_bCheckPasswd, error: 0  \n", 1},
  // Transfer-form: the reply is not looked at.
  {{"E:", "set_sys_area", "3"}, {ok({0x00})}, "SUB_SCSI_OP_SET_SYS_AREA_SIZE = 131unit = 3" + kDoneLine, 0},
  {{"E:", "set_sys_area", "3"}, {fail(31)}, "SUB_SCSI_OP_SET_SYS_AREA_SIZE = 131unit = 3cmd_bSetSystemAreaSize, error: 31  \n", 1},
  // change_passwd: status 0 is done, bit 0 set is refused, and a transfer that did not
  // go through is a failure too.
  {{"E:", "change_passwd", "42"}, {ok({0x00})}, kDoneLine, 0},
  {{"E:", "change_passwd", "42"}, {ok({0x02})}, kDoneLine, 0},
  {{"E:", "change_passwd", "42"}, {ok({0x01})}, "cmd_bChangePasswd, error: 0  \n", 1},
  {{"E:", "change_passwd", "42"}, {fail(31)}, "cmd_bChangePasswd, error: 31  \n", 1},
  // Memory writes end with 0 whatever the device said.
  {{"E:", "wtx", "0", "1", "2", "3", "4", "5"}, {ok({})}, kDoneLine, 0},
  {{"E:", "wtx", "0", "1", "2", "3", "4", "5"}, {fail(31)}, "cmd_bWriteXDATA, error: 31  \n" + kDoneLine, 0},
  {{"E:", "unlock"}, {}, "Unlock the Encrypted Disk!!\n" + kDoneLine, 0},
};
// clang-format on

TEST(Contract, EverySubCommandEndsAsAgreed) {
  for (const ContractCase& c : kContract) {
    std::string trace;
    for (const std::string& a : c.args) trace += a + " ";
    SCOPED_TRACE(trace);
    Script s;
    s.answers.assign(c.answers.begin(), c.answers.end());
    const RunResult r = runTool(c.args, s);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(s.sent.size(), c.args[1] == "unlock" ? 0u : 1u);  // one request, never a retry
    EXPECT_TRUE(s.closed);
  }
}

TEST(Contract, CompletionLineShowsTheElapsedSeconds) {
  Script s;
  s.answers.push_back(ok({0x01}));
  const RunResult r = runTool({"E:", "wt_pgr_e"}, s, "info.txt", 42);
  EXPECT_EQ(r.out, "Total takes     42 seconds.\n");
}

struct SizeCase {
  Bytes reply;
  bool transferOk;
  std::string out;
  uint32_t code;
};

TEST(Contract, CapacityInMiB) {
  // clang-format off
  const SizeCase cases[] = {
    {{0x00, 0x00, 0x1F, 0x3F, 0x00, 0x00, 0x02, 0x00}, true, "logblkaddr=1F3F, blklen=200\nsize = 3\n", 3},
    {{0x00, 0x3C, 0x3F, 0xFF, 0x00, 0x00, 0x02, 0x00}, true, "logblkaddr=3C3FFF, blklen=200\nsize = 1927\n", 1927},
    // 7.5 GiB: the product needs more than 32 bits.
    {{0x00, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00}, true, "logblkaddr=F00000, blklen=200\nsize = 7680\n", 7680},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x10, 0x00}, true, "logblkaddr=FFFFFFFF, blklen=1000\nsize = 16777215\n", 16777215},
    {{0x00, 0x00, 0x1F, 0x3F, 0x00, 0x00, 0x00, 0x00}, true, "logblkaddr=1F3F, blklen=0\ncmd_bReadCapacity() fail!\n", 0},
    {{}, false, "logblkaddr=0, blklen=0\ncmd_bReadCapacity, error: 31  \n", 0},
  };
  // clang-format on
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.out);
    Script s;
    s.answers.push_back({c.transferOk, c.reply, 31});
    const RunResult r = runTool({"E:", "get_size_MB"}, s);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.code, c.code);
  }
}

TEST(Probe, ClassifiesTheInquiryReply) {
  const Bytes head = {0x00, 0x80, 0x02, 0x02};
  auto reply = [&](uint8_t addLength, uint8_t vendor0, uint8_t tail) {
    Bytes b = head;
    b.insert(b.end(), {addLength, 0, 0, 0, vendor0});
    b.resize(36, tail);
    return b;
  };
  struct Case {
    Bytes inquiry;
    bool transferOk;
    uint32_t cls;
  };
  const Case cases[] = {
      {reply(0x04, 0x47, 0x00), true, 225},
      {reply(0x1F, 0x46, 0x20), true, 226},
      {reply(0x1F, 0x47, 0x5A), true, 227},
      {reply(0x04, 0x46, 0x00), true, 0},
      {reply(0x1F, 0x48, 0x00), true, 0},
      {Bytes(36, 0), true, 0},
      {Bytes(36, 0), false, 225},  // no answer at all
  };
  for (const Case& c : cases) {
    EXPECT_EQ(inquiryClass(c.inquiry.data(), c.transferOk), c.cls);

    Script s;
    s.answers.push_back(ok({0x01}));
    s.answers.push_back({c.transferOk, c.inquiry, 0});
    const RunResult r = runTool({"E:"}, s);
    if (c.cls == 0) {
      EXPECT_EQ(r.out, "cmd_bInquiry, error: 0  \n");
      EXPECT_EQ(r.code, 0u);
    } else {
      std::ostringstream want;
      want << "val = 0x" << std::hex << c.cls;
      EXPECT_EQ(r.out, want.str());
      EXPECT_EQ(r.code, c.cls);
    }
  }
}

TEST(Probe, FailedDelayCountEndsBeforeTheInquiry) {
  Script s;
  s.answers.push_back(fail(1167));
  const RunResult r = runTool({"E:"}, s);
  EXPECT_EQ(r.out, "cmd_bSetDelayCount, error: 1167  \n");
  EXPECT_EQ(r.code, 1u);
  EXPECT_EQ(s.sent.size(), 1u);
}

TEST(Dispatch, UsageListsTwentyNineLinesAfterTheBanner) {
  StringOutput out;
  const std::vector<std::string> args = {"devcmd"};
  EXPECT_EQ(run(args, out), 1u);
  const std::string& text = out.text();
  const std::regex banner(
      "\ndevcmd\\.exe, the tool is for communicating with Tarn device\\.\n"
      "Building date: [A-Z][a-z]{2} [ 123][0-9] [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}\n\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, banner, std::regex_constants::match_continuous));
  const std::string usage = m.suffix();
  std::vector<std::string> lines;
  std::istringstream in(usage);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 29u);
  EXPECT_EQ(usage.back(), '\n');
  EXPECT_EQ(lines.front(), "   devcmd e: rd_id                     -- read 4 bytes of Flash ID.");
  EXPECT_EQ(lines[1], "   devcmd e: wt_cfg cfgtbl_file        -- write \"the configure table\" file.");
  EXPECT_EQ(lines[16], "   devcmd e: chg_clk clk_div t1...t6   -- change 8051 clock and flash ACtiming.");
  EXPECT_EQ(lines[22], "   devcmd e: chk_update_success              -- Check FW parity");
  EXPECT_EQ(lines.back(), "   devcmd e: read_bnd_id                 -- read bunding ID");
  const char* order[] = {"rd_id", "wt_cfg", "chk_bad_s", "chk_bad_p", "blk_chk_s", "blk_chk_p",
                         "era", "wt_mgr_s", "wt_mgr", "wt_mgr_e", "wt_pgr_s", "wt_pgr",
                         "wt_pgr_e", "reset", "q_1st_burn", "2st_reset", "chg_clk",
                         "chk_is_updatedisk", "set_sys_area", "get_flash_item", "IS_TARN",
                         "get_lcd_size", "chk_update_success", "get_size_MB", "erase_nor_flash",
                         "disk_decrypt", "check_passwd", "change_passwd", "read_bnd_id"};
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].rfind(std::string("   devcmd e: ") + order[i] + " ", 0), 0u) << lines[i];
}

// Every usage line exactly as the tool prints it, in order.
// clang-format off
const char* const kUsageLines[] = {
  "   devcmd e: rd_id                     -- read 4 bytes of Flash ID.\n",
  "   devcmd e: wt_cfg cfgtbl_file        -- write \"the configure table\" file.\n",
  "   devcmd e: chk_bad_s                 -- start to check the bad block.\n",
  "   devcmd e: chk_bad_p                 -- poll the bad block checking status.\n",
  "   devcmd e: blk_chk_s beg_blk end_blk -- start to do the blanking check.\n",
  "   devcmd e: blk_chk_p                 -- poll the blanking check status.\n",
  "   devcmd e: era beg_blk end_blk       -- erase flash blocks.\n",
  "   devcmd e: wt_mgr_s size             -- start to write the flash setup mgr.\n",
  "   devcmd e: wt_mgr mgr_file           -- write \"flash setup manager\" file.\n",
  "   devcmd e: wt_mgr_e checksum         -- end to write the flash setup mgr.\n",
  "   devcmd e: wt_pgr_s size             -- start to write the program package.\n",
  "   devcmd e: wt_pgr pgr_file           -- write \"the program package\" file.\n",
  "   devcmd e: wt_pgr_e                  -- end to write the program package.\n",
  "   devcmd e: reset                     -- reset the device.\n",
  "   devcmd e: q_1st_burn                -- query whether it is first burning.\n",
  "   devcmd e: 2st_reset                 -- second reset.\n",
  "   devcmd e: chg_clk clk_div t1...t6   -- change 8051 clock and flash ACtiming.\n",
  "   devcmd e: chk_is_updatedisk         -- check if the right to update firmware.\n",
  "   devcmd e: set_sys_area size         -- set system area size 1:4M 2:8M 3: 12M...\n",
  "   devcmd e: get_flash_item            -- ask how many items in flash\n",
  "   devcmd e: IS_TARN                   -- IS TARN?\n",
  "   devcmd e: get_lcd_size              -- get lcd size\n",
  "   devcmd e: chk_update_success              -- Check FW parity\n",
  "   devcmd e: get_size_MB              -- Get disk size in MB\n",
  "   devcmd e: erase_nor_flash              -- Erase Nor Flash\n",
  "   devcmd e: disk_decrypt                 -- Disk decrypt\n",
  "   devcmd e: check_passwd passwd         -- Check user submit passwd\n",
  "   devcmd e: change_passwd new_passwd   -- change user passwd\n",
  "   devcmd e: read_bnd_id                 -- read bunding ID\n",
};
// clang-format on

TEST(Dispatch, UsageLinesAreExact) {
  const std::string text = usageText();
  std::string want;
  for (const char* line : kUsageLines) want += line;
  ASSERT_GE(text.size(), want.size());
  EXPECT_EQ(text.substr(text.size() - want.size()), want);
  EXPECT_EQ(text.substr(text.size() - want.size() - 2, 2), "\n\n");  // the banner's end
}

TEST(Dispatch, UnknownWordsEndSilentlyWithOne) {
  for (const char* word : {"nosuch", "RD_ID", "Rd_id", "rd_id ", "", "wt_mgr_"}) {
    SCOPED_TRACE(word);
    Script s;
    const RunResult r = runTool({"E:", word}, s);
    EXPECT_EQ(r.code, 1u);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(s.sent.empty());
  }
}

TEST(Dispatch, UnlistedWordsAreAccepted) {
  for (const char* word : {"rdx", "rdc", "wtx", "needup", "chkup", "tsize", "esize", "setinfo",
                           "setsize", "unlock"}) {
    bool found = false;
    for (const SubCommand& c : subCommands())
      if (std::string(c.word) == word) found = c.usage == nullptr;
    EXPECT_TRUE(found) << word;
  }
}

TEST(Dispatch, OpenFailureNamesTheDriveArgument) {
  Environment env;
  env.open = [](const std::string&, uint32_t& error) -> std::unique_ptr<PassThrough> {
    error = 2;
    return nullptr;
  };
  StringOutput out;
  const std::vector<std::string> args = {"devcmd", "Q:", "rd_id"};
  EXPECT_EQ(run(args, out, env), 1u);
  EXPECT_EQ(out.text(), "CreateFile, Error opening Q:. Error: 2\n");
}

// Every sub-command that reads parameters refuses a shorter command line before it
// touches the device.
TEST(Dispatch, TooFewParametersEndWithOneAndSendNothing) {
  int checked = 0;
  for (const SubCommand& c : subCommands()) {
    for (size_t given = 0; given < c.minParams; ++given) {
      SCOPED_TRACE(std::string(c.word) + " with " + std::to_string(given));
      std::vector<std::string> args = {"E:", c.word};
      for (size_t i = 0; i < given; ++i) args.push_back("1");
      Script s;
      const RunResult r = runTool(args, s, "no-such-dir/info.txt");
      EXPECT_EQ(r.code, 1u);
      EXPECT_EQ(r.out, std::string(c.word) + ": too few parameters\n");
      EXPECT_TRUE(s.sent.empty());
      ++checked;
    }
  }
  EXPECT_EQ(checked, 1 + 2 + 2 + 1 + 1 + 1 + 1 + 1 + 7 + 1 + 1 + 1 + 1 + 1 + 6 + 1 + 1);
}

TEST(Memory, TableHas32RowsOf16Bytes) {
  Bytes bytes(512);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  Script s;
  s.answers.push_back(ok(bytes));
  const RunResult r = runTool({"E:", "rdx", "0"}, s);
  EXPECT_EQ(r.code, 0u);

  std::string want = "      00  01  02  03  04  05  06  07   08  09  0A  0B  0C  0D  0E  0F\n";
  want += "      ---------------------------------------------------------------\n";
  for (int row = 0; row < 32; ++row) {
    char label[16];
    std::snprintf(label, sizeof label, " %03X  ", row * 16);
    want += label;
    for (int col = 0; col < 16; ++col) {
      char cell[8];
      std::snprintf(cell, sizeof cell, "%02X  ", bytes[static_cast<size_t>(row * 16 + col)]);
      want += cell;
      if (col == 7 || col == 15) want += ' ';
    }
    want += '\n';
  }
  want += "\n\n";
  EXPECT_EQ(r.out, want + kDone);

  // Spot checks independent of the loop above.
  EXPECT_NE(r.out.find("\n 000  00  07  0E  15  1C  23  2A  31   38  3F  46  4D  54  5B  62  69   \n"),
            std::string::npos);
  EXPECT_NE(r.out.find("\n 1F0  "), std::string::npos);
  EXPECT_EQ(r.out.find(" 200  "), std::string::npos);
}

TEST(Memory, FailedReadStillPrintsTheTableAndEndsWithZero) {
  const std::pair<const char*, std::string> cases[] = {
      {"rdc", "cmd_bReadCODE, error: 31  \n      00  01"},
      {"rdx", "cmd_bReadXDATA, error: 31  \n      00  01"},
  };
  for (const auto& [word, head] : cases) {
    SCOPED_TRACE(word);
    Script s;
    s.answers.push_back(fail(31));
    const RunResult r = runTool({"E:", word, "256"}, s);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.out.rfind(head, 0), 0u);
    EXPECT_NE(r.out.find(" 1F0  00  00  "), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - kDoneLine.size() - 2), "\n\n" + kDoneLine);
  }
}

TEST(Numbers, DecimalPrefixConversion) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"40960", 40960},      {"  12", 12},       {"\t+7", 7},          {"-1", 0xFFFFFFFFu},
      {"12abc", 12},         {"abc", 0},         {"", 0},              {"0x10", 0},
      {"4294967297", 1},     {"- 5", 0},         {"007", 7},           {"3948543", 3948543},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(toNumber(text), value) << '"' << text << '"';
}

}  // namespace
}  // namespace devcmd::test

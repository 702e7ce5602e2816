#include "devcmd/commands.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "devcmd/numbers.h"

namespace devcmd {
namespace {

// clang-format off
constexpr SubCommand kSubCommands[] = {
  {"rd_id",              "   devcmd e: rd_id                     -- read 4 bytes of Flash ID.\n",                 0, cmdReadId},
  {"wt_cfg",             "   devcmd e: wt_cfg cfgtbl_file        -- write \"the configure table\" file.\n",       1, cmdWriteCfg},
  {"chk_bad_s",          "   devcmd e: chk_bad_s                 -- start to check the bad block.\n",             0, simpleRequest<RequestId::CheckBadStart>},
  {"chk_bad_p",          "   devcmd e: chk_bad_p                 -- poll the bad block checking status.\n",       0, cmdCheckBadPoll},
  {"blk_chk_s",          "   devcmd e: blk_chk_s beg_blk end_blk -- start to do the blanking check.\n",           2, simpleRequest<RequestId::BlankingCheckStart>},
  {"blk_chk_p",          "   devcmd e: blk_chk_p                 -- poll the blanking check status.\n",           0, cmdBlankCheckPoll},
  {"era",                "   devcmd e: era beg_blk end_blk       -- erase flash blocks.\n",                       2, simpleRequest<RequestId::FlashEraseBlk>},
  {"wt_mgr_s",           "   devcmd e: wt_mgr_s size             -- start to write the flash setup mgr.\n",       1, simpleRequest<RequestId::WriteFlashMgrStart>},
  {"wt_mgr",             "   devcmd e: wt_mgr mgr_file           -- write \"flash setup manager\" file.\n",       1, cmdWriteMgr},
  {"wt_mgr_e",           "   devcmd e: wt_mgr_e checksum         -- end to write the flash setup mgr.\n",         1, simpleRequest<RequestId::WriteFlashMgrEnd>},
  {"wt_pgr_s",           "   devcmd e: wt_pgr_s size             -- start to write the program package.\n",       1, simpleRequest<RequestId::WriteProgramStart>},
  {"wt_pgr",             "   devcmd e: wt_pgr pgr_file           -- write \"the program package\" file.\n",       1, cmdWriteProgram},
  {"wt_pgr_e",           "   devcmd e: wt_pgr_e                  -- end to write the program package.\n",         0, simpleRequest<RequestId::WriteProgramEnd>},
  {"reset",              "   devcmd e: reset                     -- reset the device.\n",                         0, cmdReset},
  {"q_1st_burn",         "   devcmd e: q_1st_burn                -- query whether it is first burning.\n",        0, cmdQueryFirstBurn},
  {"2st_reset",          "   devcmd e: 2st_reset                 -- second reset.\n",                             0, cmdSecondReset},
  {"chg_clk",            "   devcmd e: chg_clk clk_div t1...t6   -- change 8051 clock and flash ACtiming.\n",     7, simpleRequest<RequestId::Change8051ClockDiv>},
  {"chk_is_updatedisk",  "   devcmd e: chk_is_updatedisk         -- check if the right to update firmware.\n",    0, cmdCheckIsUpdateDisk},
  {"set_sys_area",       "   devcmd e: set_sys_area size         -- set system area size 1:4M 2:8M 3: 12M...\n",  1, cmdSetSysArea},
  {"get_flash_item",     "   devcmd e: get_flash_item            -- ask how many items in flash\n",               0, cmdGetFlashItem},
  {"IS_TARN",            "   devcmd e: IS_TARN                   -- IS TARN?\n",                                  0, cmdIsTarn},
  {"get_lcd_size",       "   devcmd e: get_lcd_size              -- get lcd size\n",                              0, cmdGetLcdSize},
  {"chk_update_success", "   devcmd e: chk_update_success              -- Check FW parity\n",                     0, simpleRequest<RequestId::CheckFwParity>},
  {"get_size_MB",        "   devcmd e: get_size_MB              -- Get disk size in MB\n",                        0, cmdGetSizeMB},
  {"erase_nor_flash",    "   devcmd e: erase_nor_flash              -- Erase Nor Flash\n",                        0, cmdEraseNorFlash},
  {"disk_decrypt",       "   devcmd e: disk_decrypt                 -- Disk decrypt\n",                           0, simpleRequest<RequestId::DiskDecrypt>},
  {"check_passwd",       "   devcmd e: check_passwd passwd         -- Check user submit passwd\n",                1, simpleRequest<RequestId::CheckPasswd>},
  {"change_passwd",      "   devcmd e: change_passwd new_passwd   -- change user passwd\n",                       1, cmdChangePasswd},
  {"read_bnd_id",        "   devcmd e: read_bnd_id                 -- read bunding ID\n",                         0, cmdReadBondingId},
  // Accepted, not listed.
  {"rdx",                nullptr,                                                                                 1, cmdReadXData},
  {"rdc",                nullptr,                                                                                 1, cmdReadCode},
  {"wtx",                nullptr,                                                                                 6, cmdWriteXData},
  {"needup",             nullptr,                                                                                 0, cmdNeedUp},
  {"chkup",              nullptr,                                                                                 0, cmdCheckUp},
  {"tsize",              nullptr,                                                                                 0, cmdTotalSize},
  {"esize",              nullptr,                                                                                 0, cmdEncryptedSize},
  {"setinfo",            nullptr,                                                                                 1, cmdSetInfo},
  {"setsize",            nullptr,                                                                                 1, cmdSetSize},
  {"unlock",             nullptr,                                                                                 0, cmdUnlock},
};
// clang-format on

// INQUIRY bytes 0..8 of the three identifications the probe knows, in the order tried.
struct InquiryTemplate {
  uint8_t bytes[9];
  uint32_t cls;
};
constexpr InquiryTemplate kInquiryTemplates[] = {
    {{0x00, 0x80, 0x02, 0x02, 0x04, 0x00, 0x00, 0x00, 0x47}, 225},  // short identification
    {{0x00, 0x80, 0x02, 0x02, 0x1F, 0x00, 0x00, 0x00, 0x46}, 226},  // flash setup manager
    {{0x00, 0x80, 0x02, 0x02, 0x1F, 0x00, 0x00, 0x00, 0x47}, 227},  // product firmware
};

constexpr uint32_t kProbeDelayCounts[] = {0, 384};

uint32_t probe(Run& run) {
  if (!run.send(RequestId::SetDelayCount, {kProbeDelayCounts[0], kProbeDelayCounts[1]}).ok)
    return run.failWith(requestEntry(RequestId::SetDelayCount).name, 1);
  const Outcome inquiry = run.send(RequestId::Inquiry);
  const uint32_t cls = inquiryClass(run.buffer(), inquiry.transferred);
  if (cls == 0) return run.failWith(requestEntry(RequestId::Inquiry).name, 0);
  run.closeDevice();
  run.out().print("val = 0x%x", cls);
  return cls;
}

}  // namespace

std::span<const SubCommand> subCommands() { return kSubCommands; }

std::string usageText() {
  std::string text =
      "\ndevcmd.exe, the tool is for communicating with Tarn device.\nBuilding date: " __DATE__
      ", " __TIME__ "\n\n";
  for (const SubCommand& c : kSubCommands)
    if (c.usage != nullptr) text += c.usage;
  return text;
}

uint32_t inquiryClass(const uint8_t* reply, bool transferred) {
  // A device that does not answer INQUIRY at all counts as the short identification.
  if (!transferred) return 225;
  for (const InquiryTemplate& t : kInquiryTemplates)
    if (std::memcmp(reply, t.bytes, sizeof t.bytes) == 0) return t.cls;
  return 0;
}

std::string memoryTable(const uint8_t* bytes) {
  std::string t = "      00  01  02  03  04  05  06  07   08  09  0A  0B  0C  0D  0E  0F\n";
  t += "      " + std::string(63, '-') + "\n";
  char cell[16];
  for (size_t i = 0; i < kMemoryReadSize; ++i) {
    if (i % 16 == 0) {
      std::snprintf(cell, sizeof cell, " %03X  ", static_cast<unsigned>(i));
      t += cell;
    }
    std::snprintf(cell, sizeof cell, "%02X  ", bytes[i]);
    t += cell;
    if ((i + 1) % 8 == 0) t += ' ';
    if ((i + 1) % 16 == 0) t += '\n';
  }
  t += "\n\n";
  return t;
}

uint32_t Run::number(size_t i) const { return i < paramCount() ? toNumber(text(i)) : 0; }

Outcome Run::send(RequestId id, std::initializer_list<uint32_t> params) {
  return sendRequest(*device_, id, std::span<const uint32_t>(params.begin(), params.size()),
                     buffer_.data());
}

Outcome Run::sendParams(RequestId id) {
  std::vector<uint32_t> params;
  for (size_t i = 0; i < requestEntry(id).paramCount; ++i) params.push_back(number(i));
  return sendRequest(*device_, id, params, buffer_.data());
}

Outcome Run::sendChunk(RequestId id, uint32_t length) {
  return sendRequest(*device_, id, {}, buffer_.data(), length);
}

Outcome Run::sendOut(RequestId id, std::initializer_list<uint32_t> params, const uint8_t* data) {
  std::memcpy(buffer_.data(), data, requestEntry(id).length);
  return sendRequest(*device_, id, std::span<const uint32_t>(params.begin(), params.size()),
                     buffer_.data());
}

uint32_t Run::completion() {
  const std::time_t end = env_.now();
  out_.print("Total takes %6.0f seconds.\n", std::difftime(end, start_));
  closeDevice();
  return 0;
}

void Run::errorLine(const char* name) {
  out_.print("%s, error: %d  \n", name, static_cast<int>(lastError()));
}

uint32_t Run::failWith(const char* name, uint32_t code) {
  errorLine(name);
  closeDevice();
  return code;
}

uint32_t Run::valueExit(uint32_t value) {
  closeDevice();
  return value;
}

uint32_t run(std::span<const std::string> args, Output& out, const Environment& env) {
  if (args.size() < 2) {
    out.write(usageText());
    return 1;
  }
  uint32_t error = 0;
  std::unique_ptr<PassThrough> device = env.open(args[1], error);
  if (!device) {
    out.print("CreateFile, Error opening %s. Error: %d\n", args[1].c_str(),
              static_cast<int>(error));
    return 1;
  }
  Run run(args, out, env, std::move(device), env.now());
  if (args.size() == 2) return probe(run);

  for (const SubCommand& c : kSubCommands) {
    if (args[2] != c.word) continue;
    // The station always supplies every parameter; a short command line is refused
    // before anything reaches the device.
    if (run.paramCount() < c.minParams) {
      out.print("%s: too few parameters\n", c.word);
      return 1;
    }
    return c.handler(run);
  }
  return 1;  // unknown word: silent, the device is left to the end of the process
}

}  // namespace devcmd

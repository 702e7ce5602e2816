// The player's request protocol in one table: every request devcmd sends and the player
// answers, with its codes, CDB layout, data phase, time-out and result form. devcmd builds
// requests from it, the simulated player recognises them by it, on any face (file or USB).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarn::vendor {

enum class RequestId : uint8_t {
  SetDelayCount,
  Inquiry,
  ReadCapacity,
  ReadXData,
  WriteXData,
  ReadCode,
  DiskDecrypt,
  EraseNorFlash,
  FlashReadId,
  WriteFlashCfg,
  CheckBadStart,
  CheckBadPolling,
  BlankingCheckStart,
  BlankingCheckPolling,
  FlashEraseBlk,
  WriteFlashMgrStart,
  WriteFlashMgr,
  WriteFlashMgrEnd,
  WriteProgramStart,
  CheckPasswd,
  WriteProgram,
  WriteProgramEnd,
  Change8051ClockDiv,
  Reset,
  QueryFirstBurn,
  SecondReset,
  CheckIsUpdateDisk,
  SetSystemAreaSize,
  GetFlashItem,
  IsTarn,
  GetLcdSize,
  CheckFwParity,
  ChangePasswd,
  ReadBondingId,
  Count
};

// How a request's outcome is judged by the host.
enum class ResultForm : uint8_t {
  Transfer,  // T: the pass-through call's success flag
  Status,    // S: call succeeded and bit 0 of reply byte 0 is set
  Reply,     // R: the success flag; the reply is kept even when the call failed
  Compare,   // C: the flag is ignored, the caller reads the reply bytes
};

// Where a request's numeric parameters go in CDB bytes 2 and up. The byte order is
// part of the device protocol and differs per request.
enum class ParamLayout : uint8_t {
  None,
  DelayCounts,  // two 16-bit values, each little-endian: 2,3 and 4,5
  AddressLe,    // 16-bit memory address, little-endian: 2,3
  BlockRange,   // two 16-bit block numbers, each big-endian: 2,3 and 4,5
  Size32Be,     // 32-bit size, big-endian: 2..5
  Word16Be,     // 16-bit checksum or password, big-endian: 2,3
  Byte,         // one byte: 2
  ClockBytes,   // clock divider and six timings, one byte each: 2..8
};

// Length marker of the data-out chunk requests: the chunk's own length.
inline constexpr uint32_t kChunkLength = 0xFFFFFFFFu;

// The vendor opcodes: data from the player, data to the player.
inline constexpr uint8_t kOpIn = 0xEF;
inline constexpr uint8_t kOpOut = 0xEE;

struct RequestEntry {
  RequestId id;
  const char* name;        // as the error lines print it
  const char* subCommand;  // the sub-command that sends it
  const char* alias;       // another name a fault may be set by, or null
  uint8_t opcode;          // CDB byte 0
  uint8_t subOp;           // CDB byte 1 (vendor opcodes only)
  ParamLayout params;
  uint8_t paramCount;      // numeric parameters the layout takes
  uint8_t cdbLength;
  bool out;                // data phase host -> player
  uint32_t length;         // DataTransferLength, or kChunkLength
  uint32_t timeoutSeconds;
  ResultForm form;
};

namespace rows {
using enum RequestId;
using enum ParamLayout;
using enum ResultForm;
constexpr bool In = false;
constexpr bool Out = true;
constexpr const char* none = nullptr;

// clang-format off
inline constexpr std::array<RequestEntry, static_cast<size_t>(RequestId::Count)> kRequests{{
  // id                   name (error lines)                            sub-command          alias                             op     sub   params       n  cdb dir  length        t/o form
  {SetDelayCount,         "cmd_bSetDelayCount",                         "probe",             none,                             kOpIn, 0x04, DelayCounts, 2, 6,  In,  1,            6,  Transfer},
  {Inquiry,               "cmd_bInquiry",                               "probe",             none,                             0x12,  0x00, None,        0, 6,  In,  36,           6,  Compare},
  {ReadCapacity,          "cmd_bReadCapacity",                          "get_size_MB",       none,                             0x25,  0x00, None,        0, 6,  In,  8,            6,  Reply},
  {ReadXData,             "cmd_bReadXDATA",                             "rdx",               none,                             kOpIn, 0x01, AddressLe,   1, 6,  In,  512,          6,  Reply},
  {WriteXData,            "cmd_bWriteXDATA",                            "wtx",               none,                             kOpOut,0x02, AddressLe,   1, 6,  Out, 5,            6,  Transfer},
  {ReadCode,              "cmd_bReadCODE",                              "rdc",               none,                             kOpIn, 0x03, AddressLe,   1, 6,  In,  512,          6,  Reply},
  {DiskDecrypt,           "cmd_bDiskDecrypt",                           "disk_decrypt",      none,                             kOpIn, 0x06, None,        0, 6,  In,  1,            30, Status},
  {EraseNorFlash,         "cmd_bEraseNorFlash",                         "erase_nor_flash",   none,                             kOpIn, 0x42, None,        0, 6,  In,  0,            30, Transfer},
  {FlashReadId,           "cmd_bFlashReadID",                           "rd_id",             none,                             kOpIn, 0x70, None,        0, 6,  In,  5,            6,  Reply},
  {WriteFlashCfg,         "cmd_bWriteFlashCfg",                         "wt_cfg",            none,                             kOpOut,0x71, None,        0, 6,  Out, kChunkLength, 6,  Transfer},
  {CheckBadStart,         "cmd_bCheckBadStart",                         "chk_bad_s",         none,                             kOpIn, 0x72, None,        0, 6,  In,  1,            6,  Status},
  {CheckBadPolling,       "cmd_bCheckBadPolling==> start mass-sotrage", "chk_bad_p",         "cmd_bCheckBadPolling",           kOpIn, 0x73, None,        0, 6,  In,  2,            6,  Reply},
  {BlankingCheckStart,    "cmd_bBlankingCheckStart",                    "blk_chk_s",         none,                             kOpIn, 0x74, BlockRange,  2, 6,  In,  1,            6,  Status},
  {BlankingCheckPolling,  "cmd_bBlankingCheckPolling",                  "blk_chk_p",         none,                             kOpIn, 0x75, None,        0, 6,  In,  2,            6,  Reply},
  {FlashEraseBlk,         "cmd_bFlashEraseBlk",                         "era",               none,                             kOpIn, 0x76, BlockRange,  2, 6,  In,  1,            6,  Status},
  {WriteFlashMgrStart,    "cmd_bWriteFlashMgrStart",                    "wt_mgr_s",          none,                             kOpIn, 0x77, Size32Be,    1, 6,  In,  1,            6,  Status},
  {WriteFlashMgr,         "cmd_bWriteFlashMgr",                         "wt_mgr",            none,                             kOpOut,0x78, None,        0, 6,  Out, kChunkLength, 6,  Transfer},
  {WriteFlashMgrEnd,      "cmd_bWriteFlashMgrEnd",                      "wt_mgr_e",          none,                             kOpIn, 0x79, Word16Be,    1, 6,  In,  1,            6,  Status},
  {WriteProgramStart,     "cmd_bWriteProgramStart",                     "wt_pgr_s",          none,                             kOpIn, 0x7A, Size32Be,    1, 6,  In,  1,            6,  Status},
  // The player tells a password check from a download start only by the state it is in.
  {CheckPasswd,           "cmd_bCheckPasswd",                           "check_passwd",      none,                             kOpIn, 0x7A, Word16Be,    1, 6,  In,  1,            6,  Status},
  {WriteProgram,          "cmd_bWriteProgram",                          "wt_pgr",            none,                             kOpOut,0x7B, None,        0, 6,  Out, kChunkLength, 6,  Transfer},
  {WriteProgramEnd,       "cmd_bWriteProgramEnd",                       "wt_pgr_e",          none,                             kOpIn, 0x7C, None,        0, 6,  In,  1,            6,  Status},
  {Change8051ClockDiv,    "cmd_bChange8051ClockDiv",                    "chg_clk",           none,                             kOpIn, 0x7E, ClockBytes,  7, 10, In,  1,            6,  Status},
  {Reset,                 "cmd_bReset",                                 "reset",             none,                             kOpIn, 0x7F, None,        0, 6,  In,  5,            6,  Reply},
  {QueryFirstBurn,        "q_1st_burn",                                 "q_1st_burn",        "SUB_SCSI_OP_QUERYFIRSTBURN",     kOpIn, 0x80, None,        0, 6,  In,  1,            6,  Reply},
  {SecondReset,           "2st_reset",                                  "2st_reset",         none,                             kOpIn, 0x81, None,        0, 6,  In,  5,            6,  Reply},
  {CheckIsUpdateDisk,     "chk_is_updatedisk",                          "chk_is_updatedisk", none,                             kOpIn, 0x82, None,        0, 6,  In,  4,            6,  Compare},
  {SetSystemAreaSize,     "cmd_bSetSystemAreaSize",                     "set_sys_area",      "SUB_SCSI_OP_SET_SYS_AREA_SIZE",  kOpIn, 0x83, Byte,        1, 6,  In,  1,            6,  Transfer},
  {GetFlashItem,          "get_flash_item",                             "get_flash_item",    none,                             kOpIn, 0x84, None,        0, 6,  In,  1,            6,  Compare},
  {IsTarn,                "IS_TARN",                                    "IS_TARN",           none,                             kOpIn, 0x85, None,        0, 6,  In,  4,            6,  Compare},
  {GetLcdSize,            "get_lcd_size",                               "get_lcd_size",      none,                             kOpIn, 0x86, None,        0, 6,  In,  4,            6,  Reply},
  {CheckFwParity,         "cmd_bCheckFwParity",                         "chk_update_success",none,                             kOpIn, 0x87, None,        0, 6,  In,  2,            6,  Status},
  {ChangePasswd,          "cmd_bChangePasswd",                          "change_passwd",     none,                             kOpIn, 0x8A, Word16Be,    1, 6,  In,  1,            6,  Status},
  {ReadBondingId,         "read_bnd_id",                                "read_bnd_id",       none,                             kOpIn, 0x8B, None,        0, 6,  In,  1,            6,  Reply},
}};
// clang-format on

constexpr bool inIdOrder() {
  for (size_t i = 0; i < kRequests.size(); ++i)
    if (static_cast<size_t>(kRequests[i].id) != i) return false;
  return true;
}
static_assert(inIdOrder(), "request rows must follow RequestId order");
}  // namespace rows

constexpr std::span<const RequestEntry> allRequests() { return rows::kRequests; }
constexpr const RequestEntry& requestEntry(RequestId id) {
  return rows::kRequests[static_cast<size_t>(id)];
}

constexpr bool isVendorOpcode(uint8_t op) { return op == kOpIn || op == kOpOut; }

// Two requests the player cannot tell apart: same opcode and, for vendor ones, sub-code.
constexpr bool sameCode(const RequestEntry& a, const RequestEntry& b) {
  return a.opcode == b.opcode && (!isVendorOpcode(a.opcode) || a.subOp == b.subOp);
}

// The first row a received CDB matches, or null for a request outside the protocol.
constexpr const RequestEntry* findRequest(const uint8_t* cdb, size_t cdbLength) {
  if (cdbLength < 1) return nullptr;
  for (const RequestEntry& r : rows::kRequests) {
    if (r.opcode != cdb[0]) continue;
    if (!isVendorOpcode(r.opcode)) return &r;
    if (cdbLength >= 2 && r.subOp == cdb[1]) return &r;
  }
  return nullptr;
}

// True when `name` names this row: its name, its alias, or its sub-command word when
// that word sends only this request ("probe" sends two and names neither).
constexpr bool isNamed(const RequestEntry& r, std::string_view name) {
  if (name.empty()) return false;
  if (name == r.name || (r.alias && name == r.alias)) return true;
  if (name != r.subCommand) return false;
  for (const RequestEntry& o : rows::kRequests)
    if (o.id != r.id && name == o.subCommand) return false;
  return true;
}

}  // namespace tarn::vendor

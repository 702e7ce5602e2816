#include "devcmd/transport/requests.h"

#include "base/byte_order.h"

#include <array>
#include <cstring>

namespace devcmd {
namespace {

using enum RequestId;
using enum ParamLayout;
using enum ResultForm;
constexpr DataDir In = DataDir::In;
constexpr DataDir Out = DataDir::Out;

// clang-format off
constexpr std::array<RequestSpec, static_cast<size_t>(RequestId::Count)> kRequests{{
  // id                   name (error lines)                              sub-command          op    sub   params       n  cdb dir  length        t/o form
  {SetDelayCount,         "cmd_bSetDelayCount",                           "probe",             0xEF, 0x04, DelayCounts, 2, 6,  In,  1,            6,  Transfer},
  {Inquiry,               "cmd_bInquiry",                                 "probe",             0x12, 0x00, None,        0, 6,  In,  36,           6,  Compare},
  {ReadCapacity,          "cmd_bReadCapacity",                            "get_size_MB",       0x25, 0x00, None,        0, 6,  In,  8,            6,  Reply},
  {ReadXData,             "cmd_bReadXDATA",                               "rdx",               0xEF, 0x01, AddressLe,   1, 6,  In,  512,          6,  Reply},
  {WriteXData,            "cmd_bWriteXDATA",                              "wtx",               0xEE, 0x02, AddressLe,   1, 6,  Out, 5,            6,  Transfer},
  {ReadCode,              "cmd_bReadCODE",                                "rdc",               0xEF, 0x03, AddressLe,   1, 6,  In,  512,          6,  Reply},
  {DiskDecrypt,           "cmd_bDiskDecrypt",                             "disk_decrypt",      0xEF, 0x06, None,        0, 6,  In,  1,            30, Status},
  {EraseNorFlash,         "cmd_bEraseNorFlash",                           "erase_nor_flash",   0xEF, 0x42, None,        0, 6,  In,  0,            30, Transfer},
  {FlashReadId,           "cmd_bFlashReadID",                             "rd_id",             0xEF, 0x70, None,        0, 6,  In,  5,            6,  Reply},
  {WriteFlashCfg,         "cmd_bWriteFlashCfg",                           "wt_cfg",            0xEE, 0x71, None,        0, 6,  Out, kChunkLength, 6,  Transfer},
  {CheckBadStart,         "cmd_bCheckBadStart",                           "chk_bad_s",         0xEF, 0x72, None,        0, 6,  In,  1,            6,  Status},
  {CheckBadPolling,       "cmd_bCheckBadPolling==> start mass-sotrage",   "chk_bad_p",         0xEF, 0x73, None,        0, 6,  In,  2,            6,  Reply},
  {BlankingCheckStart,    "cmd_bBlankingCheckStart",                      "blk_chk_s",         0xEF, 0x74, BlockRange,  2, 6,  In,  1,            6,  Status},
  {BlankingCheckPolling,  "cmd_bBlankingCheckPolling",                    "blk_chk_p",         0xEF, 0x75, None,        0, 6,  In,  2,            6,  Reply},
  {FlashEraseBlk,         "cmd_bFlashEraseBlk",                           "era",               0xEF, 0x76, BlockRange,  2, 6,  In,  1,            6,  Status},
  {WriteFlashMgrStart,    "cmd_bWriteFlashMgrStart",                      "wt_mgr_s",          0xEF, 0x77, Size32Be,    1, 6,  In,  1,            6,  Status},
  {WriteFlashMgr,         "cmd_bWriteFlashMgr",                           "wt_mgr",            0xEE, 0x78, None,        0, 6,  Out, kChunkLength, 6,  Transfer},
  {WriteFlashMgrEnd,      "cmd_bWriteFlashMgrEnd",                        "wt_mgr_e",          0xEF, 0x79, Word16Be,    1, 6,  In,  1,            6,  Status},
  {WriteProgramStart,     "cmd_bWriteProgramStart",                       "wt_pgr_s",          0xEF, 0x7A, Size32Be,    1, 6,  In,  1,            6,  Status},
  // The device tells a password check from a download start by the state it is in.
  {CheckPasswd,           "cmd_bCheckPasswd",                             "check_passwd",      0xEF, 0x7A, Word16Be,    1, 6,  In,  1,            6,  Status},
  {WriteProgram,          "cmd_bWriteProgram",                            "wt_pgr",            0xEE, 0x7B, None,        0, 6,  Out, kChunkLength, 6,  Transfer},
  {WriteProgramEnd,       "cmd_bWriteProgramEnd",                         "wt_pgr_e",          0xEF, 0x7C, None,        0, 6,  In,  1,            6,  Status},
  {Change8051ClockDiv,    "cmd_bChange8051ClockDiv",                      "chg_clk",           0xEF, 0x7E, ClockBytes,  7, 10, In,  1,            6,  Status},
  {Reset,                 "cmd_bReset",                                   "reset",             0xEF, 0x7F, None,        0, 6,  In,  5,            6,  Reply},
  {QueryFirstBurn,        "q_1st_burn",                                   "q_1st_burn",        0xEF, 0x80, None,        0, 6,  In,  1,            6,  Reply},
  {SecondReset,           "2st_reset",                                    "2st_reset",         0xEF, 0x81, None,        0, 6,  In,  5,            6,  Reply},
  {CheckIsUpdateDisk,     "chk_is_updatedisk",                            "chk_is_updatedisk", 0xEF, 0x82, None,        0, 6,  In,  4,            6,  Compare},
  {SetSystemAreaSize,     "cmd_bSetSystemAreaSize",                       "set_sys_area",      0xEF, 0x83, Byte,        1, 6,  In,  1,            6,  Transfer},
  {GetFlashItem,          "get_flash_item",                               "get_flash_item",    0xEF, 0x84, None,        0, 6,  In,  1,            6,  Compare},
  {IsTarn,                "IS_TARN",                                      "IS_TARN",           0xEF, 0x85, None,        0, 6,  In,  4,            6,  Compare},
  {GetLcdSize,            "get_lcd_size",                                 "get_lcd_size",      0xEF, 0x86, None,        0, 6,  In,  4,            6,  Reply},
  {CheckFwParity,         "cmd_bCheckFwParity",                           "chk_update_success",0xEF, 0x87, None,        0, 6,  In,  2,            6,  Status},
  {ChangePasswd,          "cmd_bChangePasswd",                            "change_passwd",     0xEF, 0x8A, Word16Be,    1, 6,  In,  1,            6,  Status},
  {ReadBondingId,         "read_bnd_id",                                  "read_bnd_id",       0xEF, 0x8B, None,        0, 6,  In,  1,            6,  Reply},
}};
// clang-format on

constexpr bool rowsInIdOrder() {
  for (size_t i = 0; i < kRequests.size(); ++i)
    if (static_cast<size_t>(kRequests[i].id) != i) return false;
  return true;
}
static_assert(rowsInIdOrder(), "request rows must follow RequestId order");

}  // namespace

const RequestSpec& requestSpec(RequestId id) { return kRequests[static_cast<size_t>(id)]; }

std::span<const RequestSpec> allRequests() { return kRequests; }

Request buildRequest(RequestId id, std::span<const uint32_t> params, uint8_t* data,
                     uint32_t chunkLength) {
  const RequestSpec& s = requestSpec(id);
  auto p = [&](size_t i) -> uint32_t { return i < params.size() ? params[i] : 0; };

  Request r;
  r.cdb[0] = s.opcode;
  r.cdb[1] = s.subOp;
  uint8_t* at = r.cdb + 2;
  switch (s.params) {
    case None:
      break;
    case DelayCounts:
      tarn::putLe16(at, p(0));
      tarn::putLe16(at + 2, p(1));
      break;
    case AddressLe:
      tarn::putLe16(at, p(0));
      break;
    case BlockRange:
      tarn::putBe16(at, p(0));
      tarn::putBe16(at + 2, p(1));
      break;
    case Size32Be:
      tarn::putBe16(at, p(0) >> 16);
      tarn::putBe16(at + 2, p(0));
      break;
    case Word16Be:
      tarn::putBe16(at, p(0));
      break;
    case Byte:
      at[0] = static_cast<uint8_t>(p(0));
      break;
    case ClockBytes:
      for (size_t i = 0; i < 7; ++i) at[i] = static_cast<uint8_t>(p(i));
      break;
  }
  r.cdbLength = s.cdbLength;
  r.dir = s.dir;
  r.length = s.length == kChunkLength ? chunkLength : s.length;
  r.timeoutSeconds = s.timeoutSeconds;
  r.data = data;
  return r;
}

Outcome sendRequest(PassThrough& device, RequestId id, std::span<const uint32_t> params,
                 uint8_t* buffer, uint32_t chunkLength) {
  const RequestSpec& s = requestSpec(id);
  Request r = buildRequest(id, params, buffer, chunkLength);
  // Each request starts from a zero-filled reply area, as the record does.
  if (r.dir == DataDir::In && buffer != nullptr && r.length > 0) std::memset(buffer, 0, r.length);
  const bool ok = device.send(r);
  switch (s.form) {
    case Transfer:
    case Reply:
      return {ok, ok};
    case Status:
      return {ok, ok && buffer != nullptr && (buffer[0] & 1) != 0};
    case Compare:
      return {ok, true};
  }
  return {ok, ok};
}

}  // namespace devcmd

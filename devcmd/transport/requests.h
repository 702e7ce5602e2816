// Every vendor and standard request devcmd sends, in one table: its name as the error
// lines print it, the sub-command that sends it, how its CDB is built, its data phase,
// its time-out and how its result is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "devcmd/transport/passthrough.h"

namespace devcmd {

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

// How a request's outcome is judged.
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

struct RequestSpec {
  RequestId id;
  const char* name;        // as the error lines print it
  const char* subCommand;  // the sub-command that sends it
  uint8_t opcode;          // CDB byte 0
  uint8_t subOp;           // CDB byte 1
  ParamLayout params;
  uint8_t paramCount;      // numeric parameters the layout takes
  uint8_t cdbLength;
  DataDir dir;
  uint32_t length;         // DataTransferLength, or kChunkLength
  uint32_t timeoutSeconds;
  ResultForm form;
};

const RequestSpec& requestSpec(RequestId id);
std::span<const RequestSpec> allRequests();

// The request as it goes to the pass-through. `params` holds the converted arguments
// (missing ones count as 0); each takes only the low bits its field holds.
Request buildRequest(RequestId id, std::span<const uint32_t> params, uint8_t* data,
                     uint32_t chunkLength = 0);

struct Outcome {
  bool transferred;  // the pass-through call's own success flag
  bool ok;           // judged by the request's result form
};

// Sends one request and judges it by the request's result form. For data-in requests
// `buffer` receives the reply (zeroed first, so a failed call leaves zeros). Compare-form
// requests are always ok: their caller reads the reply instead.
Outcome sendRequest(PassThrough& device, RequestId id, std::span<const uint32_t> params,
                 uint8_t* buffer, uint32_t chunkLength = 0);

}  // namespace devcmd

// Queries and control requests: each sends one request and answers in the exit value.
#include <algorithm>

#include "devcmd/commands.h"
#include "devcmd/numbers.h"

namespace devcmd {
namespace {

constexpr uint32_t kQueryFailed = 65535;

// Four-byte answers: the flash ID line, then the bytes packed into the exit value.
uint32_t fourByteAnswer(Run& run, RequestId id) {
  if (!run.send(id).ok) return run.failWith(requestEntry(id).name, kQueryFailed);
  const uint8_t* b = run.buffer();
  run.out().print("flash ID: %02X, %02X, %02X, %02X\n", b[0], b[1], b[2], b[3]);
  return run.valueExit(packBigEndian(b));
}

bool readsTarn(const uint8_t* b) { return b[0] == 'T' && b[1] == 'A' && b[2] == 'R' && b[3] == 'N'; }

}  // namespace

uint32_t cmdReadId(Run& run) { return fourByteAnswer(run, RequestId::FlashReadId); }
uint32_t cmdReset(Run& run) { return fourByteAnswer(run, RequestId::Reset); }
uint32_t cmdSecondReset(Run& run) { return fourByteAnswer(run, RequestId::SecondReset); }

uint32_t cmdGetLcdSize(Run& run) {
  if (!run.send(RequestId::GetLcdSize).ok) return run.valueExit(kQueryFailed);
  return run.valueExit(packBigEndian(run.buffer()));
}

uint32_t cmdQueryFirstBurn(Run& run) {
  run.out().print("SUB_SCSI_OP_QUERYFIRSTBURN!!!\n");
  if (!run.send(RequestId::QueryFirstBurn).ok)
    return run.failWith(requestEntry(RequestId::QueryFirstBurn).name, kQueryFailed);
  run.out().print("return %02X\n", run.buffer()[0]);
  return run.valueExit(run.buffer()[0]);
}

// A failed transfer reads as a zero reply, so it answers 0 chips.
uint32_t cmdGetFlashItem(Run& run) {
  run.send(RequestId::GetFlashItem);
  return run.buffer()[0];  // the device is left to the end of the process
}

uint32_t cmdIsTarn(Run& run) {
  run.send(RequestId::IsTarn);
  return run.valueExit(readsTarn(run.buffer()) ? 1 : 0);
}

uint32_t cmdCheckIsUpdateDisk(Run& run) {
  run.send(RequestId::CheckIsUpdateDisk);
  return run.valueExit(readsTarn(run.buffer()) ? 0 : 1);
}

uint32_t cmdReadBondingId(Run& run) {
  if (!run.send(RequestId::ReadBondingId).ok)
    return run.failWith(requestEntry(RequestId::ReadBondingId).name, 0);
  run.out().print("Bunding ID: %02X\n", run.buffer()[0]);
  return run.valueExit(run.buffer()[0]);
}

uint32_t cmdGetSizeMB(Run& run) {
  const Outcome o = run.send(RequestId::ReadCapacity);
  const uint32_t lastBlock = packBigEndian(run.buffer());
  const uint32_t blockLength = packBigEndian(run.buffer() + 4);
  run.out().print("logblkaddr=%X, blklen=%X\n", lastBlock, blockLength);
  if (!o.ok) return run.failWith(requestEntry(RequestId::ReadCapacity).name, 0);
  if (blockLength == 0) {
    run.out().print("cmd_bReadCapacity() fail!\n");
    return run.valueExit(0);
  }
  // 64-bit product: devices of 4 GiB and more overflow 32 bits.
  const uint64_t mib = (uint64_t{lastBlock} * blockLength) >> 20;
  const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(mib, 0xFFFFFFFFu));
  run.out().print("size = %u\n", size);
  return run.valueExit(size);
}

uint32_t cmdSetSysArea(Run& run) {
  run.out().print("SUB_SCSI_OP_SET_SYS_AREA_SIZE = %d", requestEntry(RequestId::SetSystemAreaSize).subOp);
  run.out().print("unit = %d", static_cast<int>(static_cast<uint8_t>(run.number(0))));
  return simpleRequest<RequestId::SetSystemAreaSize>(run);
}

}  // namespace devcmd

// Flash check polls and the NOR flash erase.
#include "devcmd/commands.h"

namespace devcmd {
namespace {

// Poll reply: byte 0 the status, byte 1 the percentage; the caller reads the percentage
// from bits 15..8 of the exit value.
uint32_t poll(Run& run, RequestId id) {
  if (!run.send(id).ok) return run.failWith(requestEntry(id).name, 1);
  const uint8_t* b = run.buffer();
  run.out().print("ret=%d, %d\n", b[0], b[1]);
  return run.valueExit(uint32_t{b[1]} * 256u + b[0]);
}

}  // namespace

uint32_t cmdCheckBadPoll(Run& run) { return poll(run, RequestId::CheckBadPolling); }
uint32_t cmdBlankCheckPoll(Run& run) { return poll(run, RequestId::BlankingCheckPolling); }

// Reversed on purpose, as callers know it: 1 when the request went through, 0 when not.
uint32_t cmdEraseNorFlash(Run& run) {
  if (!run.send(RequestId::EraseNorFlash).ok)
    return run.failWith(requestEntry(RequestId::EraseNorFlash).name, 0);
  return 1;  // the device is left to the end of the process
}

}  // namespace devcmd

// The Windows SCSI pass-through records, built as plain bytes so that their layout can be
// checked on every platform.
//
// A record is a pass-through header (SCSI_PASS_THROUGH or SCSI_PASS_THROUGH_DIRECT), a
// sense area and, for the buffered form, a 512-byte data area:
//
//   buffered (592 bytes): header | filler | sense @48 (32) | data @80 (512)   32-bit
//                         header                 | sense @56 (24) | data @80   64-bit
//   direct   (80 bytes):  header | filler | sense @48 (32)                    32-bit
//                         header                 | sense @56 (24)             64-bit
//
// The header's size depends on the caller's pointer width, and the port driver accepts a
// header only when its Length field equals that size:
//
//   field                32-bit  64-bit
//   Length                0       0      u16, the header size: 44 / 56
//   ScsiStatus..DataIn    2..8    2..8   one byte each
//   DataTransferLength   12      12      u32
//   TimeOutValue         16      16      u32
//   DataBufferOffset     20      24      ULONG_PTR (buffered) / DataBuffer pointer (direct)
//   SenseInfoOffset      24      32      u32
//   Cdb[16]              28      36
//   size                 44      56      (64-bit: 52 rounded up to the pointer alignment)
//
// The 56-byte 64-bit header reaches past offset 48, so there the sense area starts right
// after it at 56; it still holds the 24 bytes the direct record asks for, and both record
// sizes and the data offset 80 stay as they are. A 32-bit build gets the classic layout
// byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "devcmd/transport/passthrough.h"

namespace devcmd::spti {

enum class PointerWidth : uint8_t { Bits32 = 4, Bits64 = 8 };

inline constexpr PointerWidth kNativeWidth =
    sizeof(void*) == 8 ? PointerWidth::Bits64 : PointerWidth::Bits32;

inline constexpr uint32_t kIoctlScsiPassThrough = 0x4D004;
inline constexpr uint32_t kIoctlScsiPassThroughDirect = 0x4D014;

inline constexpr size_t kBufferedRecordSize = 592;
inline constexpr size_t kDirectRecordSize = 80;
inline constexpr size_t kDataOffset = 80;
inline constexpr size_t kDataAreaSize = kBufferedRecordSize - kDataOffset;  // 512

inline constexpr uint8_t kDataOut = 0;  // SCSI_IOCTL_DATA_OUT
inline constexpr uint8_t kDataIn = 1;   // SCSI_IOCTL_DATA_IN
inline constexpr uint8_t kDirectSenseLength = 24;

struct HeaderLayout {
  size_t size;             // also the Length field and the buffered input length
  size_t dataBuffer;       // DataBufferOffset / DataBuffer
  size_t dataBufferWidth;  // 4 or 8
  size_t senseInfoOffset;  // where the SenseInfoOffset field sits
  size_t cdb;
  size_t senseArea;        // where the sense area of the record starts
};

constexpr HeaderLayout headerLayout(PointerWidth w) {
  return w == PointerWidth::Bits32 ? HeaderLayout{44, 20, 4, 24, 28, 48}
                                   : HeaderLayout{56, 24, 8, 32, 36, 56};
}

using BufferedRecord = std::array<uint8_t, kBufferedRecordSize>;
using DirectRecord = std::array<uint8_t, kDirectRecordSize>;

// Data-in (and no-data) request, sent with kIoctlScsiPassThrough; the reply is read from
// kDataOffset. Lengths beyond the data area are cut to it.
BufferedRecord buildBufferedRecord(const Request& req, PointerWidth width);
uint32_t bufferedInputLength(PointerWidth width);    // the header only
uint32_t bufferedOutputLength(const Request& req);  // 80 + the transfer length

// Data-out request, sent with kIoctlScsiPassThroughDirect, input and output length 80;
// `dataAddress` is the caller's chunk buffer.
DirectRecord buildDirectRecord(const Request& req, PointerWidth width, uint64_t dataAddress);

}  // namespace devcmd::spti

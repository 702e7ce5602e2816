#include "devcmd/transport/spti_record.h"

#include <algorithm>
#include <cstring>

namespace devcmd::spti {
namespace {

// Byte offsets shared by both pointer widths.
constexpr size_t kLength = 0;
constexpr size_t kCdbLength = 6;
constexpr size_t kSenseInfoLength = 7;
constexpr size_t kDataInField = 8;
constexpr size_t kDataTransferLength = 12;
constexpr size_t kTimeOutValue = 16;

void putLe(uint8_t* at, uint64_t v, size_t width) {
  for (size_t i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The header fields both records share; ScsiStatus, PathId, TargetId and Lun stay 0.
void fillHeader(uint8_t* rec, const Request& req, PointerWidth width, uint8_t senseLength,
                uint8_t dataIn, uint32_t length, uint64_t dataBuffer) {
  const HeaderLayout h = headerLayout(width);
  putLe(rec + kLength, h.size, 2);
  rec[kCdbLength] = req.cdbLength;
  rec[kSenseInfoLength] = senseLength;
  rec[kDataInField] = dataIn;
  putLe(rec + kDataTransferLength, length, 4);
  putLe(rec + kTimeOutValue, req.timeoutSeconds, 4);
  putLe(rec + h.dataBuffer, dataBuffer, h.dataBufferWidth);
  putLe(rec + h.senseInfoOffset, h.senseArea, 4);
  std::memcpy(rec + h.cdb, req.cdb, sizeof req.cdb);
}

}  // namespace

BufferedRecord buildBufferedRecord(const Request& req, PointerWidth width) {
  BufferedRecord rec{};
  const uint32_t length = std::min<uint32_t>(req.length, kDataAreaSize);
  // No sense data is asked for; DataIn also for requests that transfer nothing.
  fillHeader(rec.data(), req, width, 0, kDataIn, length, kDataOffset);
  return rec;
}

uint32_t bufferedInputLength(PointerWidth width) {
  return static_cast<uint32_t>(headerLayout(width).size);
}

uint32_t bufferedOutputLength(const Request& req) {
  return static_cast<uint32_t>(kDataOffset + std::min<uint32_t>(req.length, kDataAreaSize));
}

DirectRecord buildDirectRecord(const Request& req, PointerWidth width, uint64_t dataAddress) {
  DirectRecord rec{};
  fillHeader(rec.data(), req, width, kDirectSenseLength, kDataOut, req.length, dataAddress);
  return rec;
}

}  // namespace devcmd::spti

#include "devcmd/transport/spti_record.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"

namespace devcmd::spti {
namespace {

// Byte offsets shared by both pointer widths.
constexpr size_t kLength = 0;
constexpr size_t kCdbLength = 6;
constexpr size_t kSenseInfoLength = 7;
constexpr size_t kDataInField = 8;
constexpr size_t kDataTransferLength = 12;
constexpr size_t kTimeOutValue = 16;

// The header fields both records share; ScsiStatus, PathId, TargetId and Lun stay 0.
void fillHeader(uint8_t* rec, const Request& req, PointerWidth width, uint8_t senseLength,
                uint8_t dataIn, uint32_t length, uint64_t dataBuffer) {
  const HeaderLayout h = headerLayout(width);
  tarn::putLe16(rec + kLength, h.size);
  rec[kCdbLength] = req.cdbLength;
  rec[kSenseInfoLength] = senseLength;
  rec[kDataInField] = dataIn;
  tarn::putLe32(rec + kDataTransferLength, length);
  tarn::putLe32(rec + kTimeOutValue, req.timeoutSeconds);
  if (h.dataBufferWidth == 8)
    tarn::putLe64(rec + h.dataBuffer, dataBuffer);
  else
    tarn::putLe32(rec + h.dataBuffer, static_cast<uint32_t>(dataBuffer));
  tarn::putLe32(rec + h.senseInfoOffset, h.senseArea);
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

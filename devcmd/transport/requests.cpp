#include "devcmd/transport/requests.h"

#include "base/byte_order.h"

#include <cstring>

namespace devcmd {
using enum ParamLayout;
using enum ResultForm;

Request buildRequest(RequestId id, std::span<const uint32_t> params, uint8_t* data,
                     uint32_t chunkLength) {
  const RequestEntry& s = requestEntry(id);
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
  r.dir = s.out ? DataDir::Out : DataDir::In;
  r.length = s.length == kChunkLength ? chunkLength : s.length;
  r.timeoutSeconds = s.timeoutSeconds;
  r.data = data;
  return r;
}

Outcome sendRequest(PassThrough& device, RequestId id, std::span<const uint32_t> params,
                 uint8_t* buffer, uint32_t chunkLength) {
  const RequestEntry& s = requestEntry(id);
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

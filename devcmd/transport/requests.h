// Building and sending the requests of the player's protocol table (base/vendor_requests.h):
// its name as the error lines print it, the sub-command that sends it, how its CDB is
// built, its data phase, its time-out and how its result is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/vendor_requests.h"

#include "devcmd/transport/passthrough.h"

namespace devcmd {

using tarn::vendor::allRequests;
using tarn::vendor::kChunkLength;
using tarn::vendor::ParamLayout;
using tarn::vendor::RequestId;
using tarn::vendor::RequestEntry;
using tarn::vendor::requestEntry;
using tarn::vendor::ResultForm;

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

#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_order.h"

namespace devcmd {

// Decimal-prefix conversion as the command line uses it: optional white space and sign,
// then digits up to the first non-digit; no digits give 0. The value wraps to 32 bits,
// so every request field takes the low bits of what was written.
uint32_t toNumber(std::string_view text);

// Four reply bytes, the first in bits 31..24.
constexpr uint32_t packBigEndian(const uint8_t* b) { return tarn::getBe32(b); }

}  // namespace devcmd

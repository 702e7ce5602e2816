// Reading and writing 16-, 32- and 64-bit numbers in a byte buffer, in either byte order: the
// one place the tree spells out byte order (the device requests, the simulated player,
// the preferences package, the firmware's chip-variant marker).
#pragma once

#include <cstdint>

namespace tarn {

constexpr std::uint16_t getLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
constexpr std::uint16_t getBe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
constexpr std::uint32_t getLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
constexpr std::uint32_t getBe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

// The low 16 or 32 bits of `v` (putLe64: all of it).
constexpr void putLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
constexpr void putBe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
constexpr void putLe32(std::uint8_t* p, std::uint32_t v) {
  putLe16(p, v);
  putLe16(p + 2, v >> 16);
}
constexpr void putBe32(std::uint8_t* p, std::uint32_t v) {
  putBe16(p, v >> 16);
  putBe16(p + 2, v);
}
constexpr void putLe64(std::uint8_t* p, std::uint64_t v) {
  putLe32(p, static_cast<std::uint32_t>(v));
  putLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace tarn

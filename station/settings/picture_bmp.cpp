#include "station/settings/picture.h"

namespace station {

namespace {

void put(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> encodeBmp24(const Picture& p) {
  constexpr std::size_t kFileHeader = 14, kInfoHeader = 40;
  const std::size_t stride = (static_cast<std::size_t>(p.width) * 3 + 3) & ~std::size_t{3};
  const std::size_t pixels = stride * static_cast<std::size_t>(p.height);
  std::vector<std::uint8_t> out(kFileHeader + kInfoHeader + pixels, 0);
  out[0] = 'B';
  out[1] = 'M';
  put(out, 2, static_cast<std::uint32_t>(out.size()), 4);
  put(out, 10, kFileHeader + kInfoHeader, 4);
  put(out, 14, kInfoHeader, 4);
  put(out, 18, static_cast<std::uint32_t>(p.width), 4);
  put(out, 22, static_cast<std::uint32_t>(p.height), 4);  // positive: bottom row first
  put(out, 26, 1, 2);                                     // planes
  put(out, 28, 24, 2);                                    // bits per point
  put(out, 34, static_cast<std::uint32_t>(pixels), 4);
  put(out, 38, 2835, 4);  // 72 dpi, as image programs write
  put(out, 42, 2835, 4);
  for (int y = 0; y < p.height; ++y) {
    std::size_t row = kFileHeader + kInfoHeader + stride * static_cast<std::size_t>(p.height - 1 - y);
    for (int x = 0; x < p.width; ++x) {
      const std::uint32_t c = p.at(x, y);
      out[row + 3 * x] = static_cast<std::uint8_t>(c);
      out[row + 3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
      out[row + 3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
    }
  }
  return out;
}

}  // namespace station

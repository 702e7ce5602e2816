// The port finder's code on arbitrary values: the decoded digits are the code's own, and
// the outcome follows the rules for ports, hubs and the slot count.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "station/engine/slot_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t code;
  std::memcpy(&code, data, 4);
  const station::PortDecode d = station::decodePortCode(code);
  auto digit = [code](int i) {
    std::uint32_t v = code;
    while (i--) v /= 10;
    return static_cast<int>(v % 10);
  };
  if (d.port != digit(0)) std::abort();
  if (d.outcome == station::PortDecodeOutcome::NoPort) {
    if (d.port != 0) std::abort();
    return 0;
  }
  int sizes = 0;
  for (int i = 0; i < 3; ++i) {
    if (d.hubPlace[i] != digit(2 + i) || d.hubSize[i] != digit(5 + i)) std::abort();
    sizes += d.hubSize[i];
  }
  const bool hubs = digit(2) || digit(3) || digit(4);
  if (d.hubsDescribed != hubs) std::abort();
  if ((d.outcome == station::PortDecodeOutcome::TooManyPorts) != (hubs && sizes > station::DEVICE_COUNT))
    std::abort();
  if (d.outcome == station::PortDecodeOutcome::Found && d.hubPort != (hubs ? digit(1) : 0))
    std::abort();
  return 0;
}

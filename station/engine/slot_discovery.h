// Slot discovery: which USB port of the station a player hangs at. Drive letter -> serial
// index (the platform's topology) -> port code (the port finder's exit code) -> port, hub
// port and the position 1..8 worked out from up to three hubs.
#pragma once

#include "platform/usb_topology.h"
#include "station/ops/device_tool.h"

#include <cstdint>
#include <optional>

namespace station {

enum class PortDecodeOutcome {
  Found,
  NoPort,        // units digit 0, also a port finder that could not be started
  TooManyPorts,  // the hubs provide more ports than there are slots
};

struct PortDecode {
  PortDecodeOutcome outcome = PortDecodeOutcome::NoPort;
  int port = 0;          // units digit
  int hubPort = 0;       // tens digit; 0 when no hub is described
  int hubPlace[3] = {};  // 10^2, 10^3, 10^4 digits
  int hubSize[3] = {};   // 10^5, 10^6, 10^7 digits
  int showPort = 0;
  bool hubsDescribed = false;
};

// Digits beyond the eighth are ignored.
PortDecode decodePortCode(uint32_t code);

struct SlotPort {
  int hubPort;
  int port;
  int showPort;
};

// The whole discovery for drive X, with its port log lines; shows the "too many ports"
// message and waits for it to be closed. Nothing when it fails.
std::optional<SlotPort> discoverSlot(char drive, platform::UsbTopology& topology,
                                     DeviceTool& tool, RunReporter& report);

}  // namespace station

#include "station/engine/slot_discovery.h"

namespace station {

PortDecode decodePortCode(uint32_t code) {
  PortDecode d;
  int digit[8];
  uint32_t rest = code;
  for (int& g : digit) {
    g = static_cast<int>(rest % 10);
    rest /= 10;
  }
  d.port = digit[0];
  d.hubPort = digit[1];
  for (int i = 0; i < 3; ++i) {
    d.hubPlace[i] = digit[2 + i];
    d.hubSize[i] = digit[5 + i];
  }
  if (d.port == 0) {
    d.outcome = PortDecodeOutcome::NoPort;
    return d;
  }
  if (d.hubPlace[0] == 0 && d.hubPlace[1] == 0 && d.hubPlace[2] == 0) {
    d.outcome = PortDecodeOutcome::Found;
    d.hubPort = 0;
    d.showPort = d.port;
    return d;
  }
  d.hubsDescribed = true;
  if (d.hubSize[0] + d.hubSize[1] + d.hubSize[2] > DEVICE_COUNT) {
    d.outcome = PortDecodeOutcome::TooManyPorts;
    return d;
  }
  d.showPort = d.port;
  if (d.hubPort != 0) {
    // Ports of the hubs described before the player's hub come first. A hub port that
    // matches no hub place adds nothing.
    for (int k = 0; k < 3; ++k) {
      if (d.hubPlace[k] != d.hubPort) continue;
      for (int below = 0; below < k; ++below) d.showPort += d.hubSize[below];
      break;
    }
  }
  for (int k = 2; k >= 0 && d.showPort > DEVICE_COUNT; --k) d.showPort -= d.hubSize[k];
  d.outcome = PortDecodeOutcome::Found;
  return d;
}

std::optional<SlotPort> discoverSlot(char drive, platform::UsbTopology& topology,
                                     DeviceTool& tool, RunReporter& report) {
  const std::string x(1, drive);
  int serial = topology.serialIndex(drive);
  if (serial == -1) {
    report.appendPortLog(x + ": Serial no = -1");
    return std::nullopt;
  }
  report.appendPortLog(x + ": Serial_num = " + std::to_string(serial));
  std::optional<uint32_t> read = topology.portCode(drive);
  uint32_t code = read ? *read : tool.portFinder(serial);
  report.appendPortLog(x + ": Port = " + std::to_string(code));

  PortDecode d = decodePortCode(code);
  switch (d.outcome) {
    case PortDecodeOutcome::NoPort:
      report.appendPortLog(x + ":" + "Port =" + "0" + ":" + "0" + " fail");
      return std::nullopt;
    case PortDecodeOutcome::TooManyPorts:
      report.showMessage(report.text(LangText::HubPortExeccdStr), report.text(LangText::FailMsg),
                         MessageIcon::Error);
      return std::nullopt;
    case PortDecodeOutcome::Found:
      break;
  }
  if (d.hubsDescribed) {
    report.appendPortLog(x + ":" + " Serial_num= " + std::to_string(serial) +
                       " port= " + std::to_string(code) + " hubport = " +
                       std::to_string(d.hubPort) + " current_port = " + std::to_string(d.port) +
                       " showport = " + std::to_string(d.showPort));
  }
  return SlotPort{d.hubPort, d.port, d.showPort};
}

}  // namespace station

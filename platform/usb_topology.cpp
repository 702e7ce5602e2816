#include "platform/usb_topology.h"

#include "base/byte_order.h"

namespace platform {

const char* const kUsbStorKeys[4] = {
    "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_G&Prod_&Rev_\\",
    "SYSTEM\\ControlSet001\\Enum\\USBSTOR\\Disk&Ven_G&Prod_&Rev_\\",
    "SYSTEM\\ControlSet002\\Enum\\USBSTOR\\Disk&Ven_G&Prod_&Rev_\\",
    "SYSTEM\\ControlSet003\\Enum\\USBSTOR\\Disk&Ven_G&Prod_&Rev_\\",
};

std::string mountedDeviceValueName(char drive) {
  std::string name = "\\DosDevices\\";
  name += drive;
  name += ':';
  return name;
}

std::string mountedDeviceName(const uint8_t* bytes, size_t length) {
  std::string text;
  for (size_t unit = 0; unit < 255 && unit * 2 + 1 < length; ++unit) {
    uint16_t c = tarn::getLe16(bytes + unit * 2);
    if (c == 0) break;
    text += c < 0x80 ? static_cast<char>(c) : '?';
    if (c == '}') break;
  }
  return text;
}

std::string parentIdPrefix(const std::string& name) {
  size_t first = name.find('#');
  if (first == std::string::npos) return "";
  size_t second = name.find('#', first + 1);
  if (second == std::string::npos) return "";
  std::string rest = name.substr(second + 1);
  size_t r = rest.find('R');
  if (r == std::string::npos || r == 0) return "";
  return rest.substr(0, r - 1);
}

int serialIndexOfInstance(const std::string& instanceName) {
  if (instanceName.size() < 12) return -1;
  return static_cast<int>(static_cast<signed char>(instanceName[11])) - 'A';
}

}  // namespace platform

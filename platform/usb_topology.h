// From a drive letter to the small serial index that the port finder takes. Windows walks
// the device registry (the mount manager's record of the drive, the storage device's
// parent-ID prefix, the USB storage instances of the player's class); simulated players
// are indexed by their letter; real players on Linux too, and their port code comes from
// sysfs (platform/linux/block_devices.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class UsbTopology {
 public:
  virtual ~UsbTopology() = default;
  // -1 when no device instance belongs to the drive.
  virtual int serialIndex(char drive) = 0;
  // The port code, where the platform reads the topology itself (Linux sysfs) rather
  // than through the port finder; nothing: ask the port finder.
  virtual std::optional<uint32_t> portCode(char /*drive*/) { return std::nullopt; }
};

std::unique_ptr<UsbTopology> makeUsbTopology();

// --- the registry walk's pure steps ---

constexpr const char* kMountedDevicesKey = "SYSTEM\\MountedDevices\\";
constexpr const char* kParentIdPrefixValue = "ParentIdPrefix";
// Searched in this order; the first instance whose prefix matches wins.
extern const char* const kUsbStorKeys[4];

// "\DosDevices\E:"
std::string mountedDeviceValueName(char drive);
// The mount record's UTF-16 text (at most 255 units, up to the first NUL), ended right
// after its first "}".
std::string mountedDeviceName(const uint8_t* bytes, size_t length);
// The text after the name's second "#", cut before the character that precedes its first
// "R": \??\STORAGE#RemovableMedia#7&2d2d2d2d&0&RM#{...} gives 7&2d2d2d2d&0. Empty when the
// name is not of that form.
std::string parentIdPrefix(const std::string& name);
// The instance name's twelfth character minus "A"; -1 when the name is shorter.
int serialIndexOfInstance(const std::string& instanceName);

#ifdef _WIN32
enum class RegistryRoot { LocalMachine, CurrentUser };
// The walk under `root`, every key path prefixed with `base` (empty for the system's own
// keys; tests build a scratch tree under the current user).
std::unique_ptr<UsbTopology> makeRegistryTopology(RegistryRoot root, std::string base);
#else
// Library tarn_platform_sim. Players under `root`: a player folder <root>/<letter>/ gives the letter's index (A = 0).
std::unique_ptr<UsbTopology> makeSimTopology(std::string root);
#endif

}  // namespace platform

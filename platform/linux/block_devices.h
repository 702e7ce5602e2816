// Real players on Linux as sysfs shows them: a disk's size, partitions, SCSI generic node
// and the USB port it hangs at, read from a sysfs root folder ("/sys", or a fake tree in
// the tests); which disks the station may write; and the port code that the station's
// slot discovery decodes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::linuxdev {

// The USB port folder of a device, "1-1.3": bus 1, root port 1, then port 3 of a hub.
struct UsbPort {
  std::string folder;       // "1-1.3"
  int bus = 0;
  std::vector<int> ports;   // root port first: {1, 3}
  bool massStorage = false; // the interface above the disk has class 08
  int hubPorts = 0;         // ports of the hub the device hangs at; 0 on a root port
};

struct BlockDisk {
  std::string name;            // "sdb"
  uint64_t sectors = 0;        // 512-byte sectors; 0 when no medium is present
  uint64_t diskSeq = 0;        // the kernel's number of the medium in the node; 0 unknown
  bool readOnly = false;
  std::string firstPartition;  // "sdb1"; empty when the disk has no partition 1
  std::vector<std::string> partitions;
  bool hasHolders = false;     // another kernel device sits on it (device mapper, raid)
  std::string genericNode;     // "/dev/sg2" or empty
  std::optional<UsbPort> usb;  // nothing for a disk without a USB port above it
};

// "1-1.3" read as bus and port numbers; nothing for other names.
std::optional<UsbPort> parseUsbPortFolder(const std::string& name);

// The disk `name` under `sysRoot` (its class/block entry followed to the device tree).
std::optional<BlockDisk> readBlockDisk(const std::string& sysRoot, const std::string& name);

// The port code: units digit the player's port, tens digit the port its hub hangs at,
// hub place 1 that same port and hub size 1 the hub's port count (9 for more than 9).
// A player on a root port is its port alone. 0 (no port) when a port number needed for a
// digit is above 9.
uint32_t portCode(const UsbPort& port);

// What the station needs to know to refuse a disk.
struct SafetyFacts {
  std::string mounts;                 // /proc/self/mounts
  std::string swaps;                  // /proc/swaps
  std::string systemDisk;             // the disk that holds "/", e.g. "sda"
  std::vector<std::string> allowed;   // test devices, "/dev/loop5": no USB port needed
};

enum class Refusal { None, NotUsbMassStorage, SystemDisk, Mounted, InUse, NoLetter, OtherStation };

Refusal judgeDisk(const BlockDisk& disk, const SafetyFacts& facts);
// The row text and port-log reason of a refusal.
std::string refusalText(Refusal refusal);

// The facts of this machine: the mount and swap tables, the disk of "/".
SafetyFacts systemSafetyFacts(const std::string& sysRoot, std::vector<std::string> allowed);

// Whether `node` or any partition of its disk is mounted or used as swap now.
bool diskMounted(const BlockDisk& disk, const SafetyFacts& facts);

}  // namespace platform::linuxdev

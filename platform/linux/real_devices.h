// Real players on Linux: the station hears of USB disks from the kernel's block-device
// events (libudev's monitor; the "udev" source where a udev daemon runs, the kernel's
// own otherwise), gives each arriving player a drive letter bound to its disk (the
// station's DriveTable), and reaches its volume, port and vendor requests through that
// binding. Disks that are not USB mass storage, the system disk and anything mounted are
// never bound.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/drive_table.h"
#include "platform/single_instance.h"
#include "platform/linux/block_devices.h"
#include "platform/usb_topology.h"
#include "platform/volume.h"
#include "platform/volume_events.h"

namespace platform {

struct RealDeviceOptions {
  std::string sysRoot = "/sys";
  // Where the machine-wide claims of disks are (platform/single_instance.h); empty: the
  // machine's folder.
  std::string claimFolder;
  // Test devices ("/dev/loop5") taken without a USB port; never for production.
  std::vector<std::string> allowed;
};

// The station's choice at start-up: real players even where $TARN_SIM is set (then only
// the device tool's vendor requests go to the simulated players).
void chooseRealDevices(RealDeviceOptions options);
std::optional<RealDeviceOptions> chosenRealDevices();

// --- the pieces, each with the station's drive table unless a test gives its own ---

// A disk event as the kernel tells it: a whole disk added, changed or removed.
struct BlockUevent {
  enum class Action { Add, Change, Remove };
  Action action;
  std::string name;  // "sdb"
  bool operator==(const BlockUevent&) const = default;
};

// The event's properties (ACTION, SUBSYSTEM, DEVTYPE, DEVNAME, DEVPATH) as a disk event;
// nothing for partitions, other subsystems and other actions.
std::optional<BlockUevent> parseBlockUevent(
    const std::vector<std::pair<std::string, std::string>>& properties);

// Which disks hold a medium now: a disk arrives when it shows sectors (added with a
// medium, or a medium put in: a loop device attached to a file) and goes when it shows
// none or is removed. Disks that held a medium when the station started are left alone.
class BlockPresence {
 public:
  // `claimFolder`: where the claims that keep one station per disk are made.
  BlockPresence(std::string sysRoot, std::function<linuxdev::SafetyFacts()> facts,
                DriveTable& table, std::string claimFolder);
  std::vector<VolumeNotice> apply(const BlockUevent& event);

 private:
  std::string sysRoot_;
  std::function<linuxdev::SafetyFacts()> facts_;
  DriveTable& table_;
  std::set<std::string> refused_;
  std::set<std::string> before_;
  std::string claimFolder_;
  std::map<std::string, std::unique_ptr<DeviceClaim>> claims_;
};

std::unique_ptr<VolumeEvents> makeLinuxVolumeEvents(const RealDeviceOptions& options,
                                                    DriveTable& table = DriveTable::station());
// Each drive's volume: the bound disk's first partition, or the whole disk when it has
// none; unreachable once the binding has ended or while anything on the disk is mounted.
// The letters' bindings are taken as they are when the object is made (a run's start):
// a letter bound again since, or a disk that took another medium, is unreachable, so a run
// never writes onto a disk that came after its own.
std::unique_ptr<Volumes> makeLinuxVolumes(const std::string& sysRoot,
                                          DriveTable& table = DriveTable::station());
// Serial index the letter's (A = 0) while bound; port code from the binding.
std::unique_ptr<UsbTopology> makeLinuxTopology(DriveTable& table = DriveTable::station());

}  // namespace platform

// Where the station's players come from, chosen once at start-up and handed down to every
// run and to the arrival loop: the system's drives, or the simulated players under a
// folder (library tarn_platform_sim, platform/sim/players.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/usb_topology.h"
#include "platform/volume.h"
#include "platform/volume_events.h"

namespace platform {

class Players {
 public:
  virtual ~Players() = default;
  // New seams: one set per production run, one event source for the station.
  virtual std::unique_ptr<Volumes> volumes() const = 0;
  virtual std::unique_ptr<UsbTopology> topology() const = 0;
  virtual std::unique_ptr<VolumeEvents> events() const = 0;
};

struct SystemPlayerOptions {
  std::string sysRoot = "/sys";  // Linux: where the devices' attributes are read
  // Linux: where the machine-wide claims of disks are (platform/single_instance.h); empty:
  // the machine's folder.
  std::string claimFolder;
  // Linux: test devices ("/dev/loop5") taken without a USB port; never for production.
  std::vector<std::string> allowed;
};

// The system's players: Windows' drives; on Linux the real players' disks.
std::unique_ptr<Players> makeSystemPlayers(SystemPlayerOptions options = {});

}  // namespace platform

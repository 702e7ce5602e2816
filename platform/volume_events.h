// Volume arrival and removal notifications: which drive letters appeared or went.
// Windows: WM_DEVICECHANGE with DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE for volumes,
// received by a hidden window on a thread of its own, checked against GetLogicalDrives on
// a timer (drive_tracker.h). Simulated players: the lines
// "<seq> plug E" / "<seq> unplug E" that tarnsim appends to <root>/events. Linux with
// real players: the kernel's block-device events (platform/linux/real_devices.h); a disk
// the station must not touch is told as refused, with its device and the reason.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

constexpr uint32_t kWmDeviceChange = 0x0219;
constexpr uint32_t kDbtDeviceArrival = 0x8000;
constexpr uint32_t kDbtDeviceRemoveComplete = 0x8004;
constexpr uint32_t kDbtDevtypVolume = 2;

enum class VolumeChange {
  Arrival,
  Removal,
  Refused,         // a disk that got no letter: `device` and `reason` say which and why
  RefusedRemoval,  // that disk went again
};

struct VolumeNotice {
  VolumeChange change;
  std::string letters;  // one notice may name several drives, "A" first
  std::string device = {};
  std::string reason = {};
  bool operator==(const VolumeNotice&) const = default;
};

// Bits 0..25 of the unit mask as letters, "A" first; bits 26..31 mean nothing.
std::string unitMaskLetters(uint32_t unitMask);

// The notice a device-change message carries: nothing for other events, other device
// types, or a mask naming no drive.
std::optional<VolumeNotice> decodeDeviceChange(uint32_t event, uint32_t deviceType,
                                               uint32_t unitMask);

class VolumeEvents {
 public:
  virtual ~VolumeEvents() = default;
  // The notices that came since the last call, oldest first; never blocks.
  virtual std::vector<VolumeNotice> poll() = 0;
};

// The system's notifications (on Linux the kernel's block-device events).
std::unique_ptr<VolumeEvents> makeVolumeEvents();

// Library tarn_platform_sim. Follows <root>/events from its end as it is now: only later plugs and unplugs count,
// as a real station hears nothing of drives that were there before it started.
std::unique_ptr<VolumeEvents> makeSimVolumeEvents(const std::string& root);

#ifdef _WIN32
// The class name of the hidden window that receives the notifications.
inline constexpr char kVolumeEventsWindowClass[] = "TarnVolumeEvents";
// How often the drives present are looked at, for notifications that never came.
inline constexpr unsigned kDrivePollMs = 500;
// The notifications merged with a look at `presentDrives` every `pollMs` (0: no looks).
std::unique_ptr<VolumeEvents> makeWin32VolumeEvents(std::function<uint32_t()> presentDrives,
                                                    unsigned pollMs);
#endif

}  // namespace platform

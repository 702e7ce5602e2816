// Arrival and removal from two sources that each can fail alone: the system's volume
// notifications (which can be missed) and a periodic look at the drives present
// (GetLogicalDrives on Windows, which can miss a quick unplug and replug). Together they
// give every arrival once and lose no removal. Drive sets are 26-bit masks, bit 0 = "A".
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/volume_events.h"

namespace platform {

struct DriveDiff {
  uint32_t arrived = 0;
  uint32_t removed = 0;
  bool operator==(const DriveDiff&) const = default;
};

// What changed between two looks (bits 26..31 mean nothing and are dropped).
DriveDiff diffDrives(uint32_t before, uint32_t after);

// "EF" -> bits 4 and 5; other characters are passed over.
uint32_t lettersMask(std::string_view letters);

class DriveTracker {
 public:
  // Drives present at start are not arrivals: a station hears nothing of those.
  explicit DriveTracker(uint32_t presentAtStart);

  // A notification. An arrival the look reported already is not reported again; a second
  // arrival notification for a drive whose arrival was notified (its removal was missed)
  // reports the removal first, then the arrival.
  std::vector<VolumeNotice> notified(const VolumeNotice& notice);
  // A look at the drives present now: drives gone are removed, new drives arrive.
  std::vector<VolumeNotice> looked(uint32_t present);

  uint32_t known() const { return known_; }

 private:
  uint32_t known_;      // reported present
  uint32_t heard_ = 0;  // of those, the ones whose arrival came by notification
};

}  // namespace platform

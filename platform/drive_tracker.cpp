#include "platform/drive_tracker.h"

namespace platform {

namespace {

constexpr uint32_t kLetters = (uint32_t{1} << 26) - 1;

void report(std::vector<VolumeNotice>& out, VolumeChange change, uint32_t mask) {
  if (mask) out.push_back({change, unitMaskLetters(mask)});
}

}  // namespace

DriveDiff diffDrives(uint32_t before, uint32_t after) {
  before &= kLetters;
  after &= kLetters;
  return {after & ~before, before & ~after};
}

uint32_t lettersMask(std::string_view letters) {
  uint32_t mask = 0;
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') mask |= uint32_t{1} << (c - 'A');
  }
  return mask;
}

DriveTracker::DriveTracker(uint32_t presentAtStart) : known_(presentAtStart & kLetters) {}

std::vector<VolumeNotice> DriveTracker::notified(const VolumeNotice& notice) {
  std::vector<VolumeNotice> out;
  const uint32_t mask = lettersMask(notice.letters);
  if (notice.change == VolumeChange::Arrival) {
    const uint32_t again = mask & known_ & heard_;  // removal missed in between
    const uint32_t fresh = mask & ~known_;
    report(out, VolumeChange::Removal, again);
    report(out, VolumeChange::Arrival, again | fresh);
    known_ |= mask;
    heard_ |= mask;
  } else {
    report(out, VolumeChange::Removal, mask & known_);
    known_ &= ~mask;
    heard_ &= ~mask;
  }
  return out;
}

std::vector<VolumeNotice> DriveTracker::looked(uint32_t present) {
  std::vector<VolumeNotice> out;
  const DriveDiff d = diffDrives(known_, present);
  report(out, VolumeChange::Removal, d.removed);
  report(out, VolumeChange::Arrival, d.arrived);
  known_ = (known_ & ~d.removed) | d.arrived;
  heard_ &= ~d.removed;
  return out;
}

}  // namespace platform

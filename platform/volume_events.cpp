#include "platform/volume_events.h"

namespace platform {

std::string unitMaskLetters(uint32_t unitMask) {
  std::string letters;
  for (int i = 0; i < 26; ++i)
    if (unitMask & (uint32_t{1} << i)) letters.push_back(static_cast<char>('A' + i));
  return letters;
}

std::optional<VolumeNotice> decodeDeviceChange(uint32_t event, uint32_t deviceType,
                                               uint32_t unitMask) {
  if (deviceType != kDbtDevtypVolume) return std::nullopt;
  VolumeChange change;
  if (event == kDbtDeviceArrival) change = VolumeChange::Arrival;
  else if (event == kDbtDeviceRemoveComplete) change = VolumeChange::Removal;
  else return std::nullopt;
  std::string letters = unitMaskLetters(unitMask);
  if (letters.empty()) return std::nullopt;
  return VolumeNotice{change, letters};
}

}  // namespace platform

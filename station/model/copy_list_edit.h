// The copy list's Add and Remove buttons, the chip variant read from program.bin, and the
// manual upgrade mode (CheckManuupgrade, Upgradebtn). Window-thread handlers on the model.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "station/model/station_model.h"

namespace station {

// The file chooser: title (language bytes) in, the chosen files' full paths out in the
// order it gives them; nothing when the operator cancels. The window's is the toolkit's
// dialog; tests answer it themselves.
using FileChooser =
    std::function<std::optional<std::vector<std::string>>(const std::string& title)>;

inline constexpr uint32_t kBondingMarker = 0x5AA50870;  // at 8192, little-endian
inline constexpr long kBondingMarkerOffset = 8192;

// The chip variant of the first program.bin (any letter case) in the list that carries
// the marker; 0 when none does, or when the first program.bin met cannot be opened.
int readSdkBondingId(const std::vector<std::string>& copyList);

void AddFilesBtnClick(StationModel& model, const FileChooser& chooser);
void RemoveBtnClick(StationModel& model);
void CheckManuupgradeClick(StationModel& model);
// Starts a run on every slot that shows DevicePluginStr, holds a drive and has had no
// run yet (a second press must not start another run on it), slot 0 first.
void UpgradebtnClick(StationModel& model);

}  // namespace station

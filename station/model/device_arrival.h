// Volume arrival and removal on the window's thread: the update-disk check and the probe
// decide whether a new drive is a player to produce; an accepted one takes the lowest free
// slot and its run starts (or, in manual upgrade mode, it is only registered). A drive
// that goes frees its slot and its row waits again. Every decision leaves a port-log line.
#pragma once

#include <functional>
#include <string>

#include "platform/volume_events.h"
#include "station/ops/device_tool.h"
#include "station/model/station_model.h"

namespace station {

struct ArrivalContext {
  DeviceTool& tool;
  // The pause before the second reset; a real sleep unless tests replace it.
  std::function<void(unsigned ms)> sleep;
};

inline constexpr unsigned kResetPauseMs = 500;

// Letters handled one by one in the order given ("A" first from a unit mask).
void handleArrival(StationModel& model, ArrivalContext& context, const std::string& letters);
void handleRemoval(StationModel& model, const std::string& letters);
// A disk the station will not touch: a port-log line "<device>: refused, <reason>" and the
// text "<device> refused: <reason>" in red on the lowest free row, which waits again when
// the disk goes ("<device>: -->").
void handleRefusal(StationModel& model, const std::string& device, const std::string& reason);
void handleRefusalGone(StationModel& model, const std::string& device);
void handleVolumeNotice(StationModel& model, ArrivalContext& context,
                        const platform::VolumeNotice& notice);

}  // namespace station

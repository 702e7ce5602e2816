#include "station/model/device_arrival.h"

#include <chrono>
#include <thread>

namespace station {

void handleArrival(StationModel& model, ArrivalContext& context, const std::string& letters) {
  for (char x : letters) {
    const std::string drive(1, x);
    model.appendPortLog(drive + ":<--");
    // The update-disk check lets the window go on serving while it waits.
    if (context.tool.checkIsUpdateDisk(x)) {
      model.appendPortLog(drive + ":-> reset");
      if (context.sleep) context.sleep(kResetPauseMs);
      else std::this_thread::sleep_for(std::chrono::milliseconds(kResetPauseMs));
      context.tool.secondReset(x);
      continue;  // it comes back as a new arrival after its reset
    }
    if (model.rows().findSlot(x) >= 0) {
      model.appendPortLog(drive + ": exists continue");
      continue;
    }
    if (!context.tool.probe(x)) {
      model.appendPortLog(drive + "bCheckDrive fail continue");
      continue;
    }
    int slot = model.rows().occupySlot(x);
    if (slot < 0) {
      model.showMessage(model.lang(LangText::ExceedLimitMsg), model.lang(LangText::StatusMsg),
                        MessageIcon::None);
      continue;
    }
    if (model.controls().checked(Check::CheckManuupgrade)) {
      model.rows().registerSlot(slot, model.lang(LangText::DevicePluginStr));
    } else if (model.rows().markRunStarted(slot)) {
      model.startRun(x);
    }
    model.rows().slotTaken();
  }
}

void handleRemoval(StationModel& model, const std::string& letters) {
  for (char x : letters) {
    model.appendPortLog(std::string(1, x) + ": -->");
    model.rows().releaseDrive(x);
  }
}

std::string refusalRowText(const std::string& device, const std::string& reason) {
  return device + " refused: " + reason;
}

void handleRefusal(StationModel& model, const std::string& device, const std::string& reason) {
  model.appendPortLog(device + ": refused, " + reason);
  for (int slot = 0; slot < DEVICE_COUNT; ++slot) {
    if (model.rows().slotDriveLetter(slot) != 0) continue;
    model.rows().setStatusText(slot, refusalRowText(device, reason), TextColour::Red);
    return;
  }
}

void handleRefusalGone(StationModel& model, const std::string& device) {
  model.appendPortLog(device + ": -->");
  const std::string prefix = device + " refused: ";
  for (int slot = 0; slot < DEVICE_COUNT; ++slot) {
    const RowState row = model.rows().slotRow(slot);
    if (model.rows().slotDriveLetter(slot) != 0 || row.text.rfind(prefix, 0) != 0) continue;
    model.rows().setStatusText(slot, model.lang(LangText::WaitDeviceMsg), TextColour::WindowText);
  }
}

void handleVolumeNotice(StationModel& model, ArrivalContext& context,
                        const platform::VolumeNotice& notice) {
  switch (notice.change) {
    case platform::VolumeChange::Arrival: handleArrival(model, context, notice.letters); break;
    case platform::VolumeChange::Removal: handleRemoval(model, notice.letters); break;
    case platform::VolumeChange::Refused: handleRefusal(model, notice.device, notice.reason); break;
    case platform::VolumeChange::RefusedRemoval: handleRefusalGone(model, notice.device); break;
  }
}

}  // namespace station

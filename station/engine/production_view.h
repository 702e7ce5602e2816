// What a production run (and the window's arrival and removal handling) needs from the
// main window model beyond the device operations' view: the slot table, the row state a
// run reads back, the status pictures, the counters and the enabling of the two settings
// groups. Each call is one step that no other worker's or the window's change interleaves
// with; the compound steps below exist because their reads and writes must not be split.
#pragma once

#include "station/ops/station_view.h"

namespace station {

enum class StatusPicture { Success, Fail };  // .\misc\success.bmp, .\misc\fail.bmp

class ProductionView : public StationView {
 public:
  // --- rows, read back by a run ---
  virtual std::string statusText(int slot) const = 0;
  virtual TextColour statusColour(int slot) const = 0;
  // Shows the picture when its file exists and the slot's driveLetter is not 0 at that
  // moment; otherwise leaves the picture as it is.
  virtual void showPicture(int slot, StatusPicture picture) = 0;
  virtual void hidePicture(int slot) = 0;

  // --- the run's bracket ---
  // runningCount + 1; grpFileList and grpMPSetting disabled.
  virtual void runStarted() = 0;
  // runningCount - 1 (held at 0, the groups enabled again when it reaches 0), then the
  // tally: totalCount + 1, successCount + success, failCount = total - success.
  virtual void runEnded(bool success) = 0;
  // The common end of a failed run: when the slot no longer holds `drive` and its status
  // text is red, the text becomes WaitDeviceMsg in the window-text colour.
  virtual void resetRowIfReleased(int slot, char drive) = 0;

  // --- settings a run reads when it reaches the step ---
  virtual bool formatTicked() const = 0;        // chkFormat
  virtual bool fwUpgradeTicked() const = 0;     // chkFwUpgrade
  virtual bool parityCheckTicked() const = 0;   // chkParityCheck
  virtual int sdkBondingId() const = 0;         // 0 none, 255 any variant
};

}  // namespace station

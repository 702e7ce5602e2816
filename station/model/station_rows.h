// The rows and counters of the window model: the slot table (each entry's drive letter,
// the row it is shown in, whether a run was started on it), the eight rows and the
// counters. Arrival and removal change the slot table on the window thread; production
// runs write their rows and the counters from their own threads.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "station/model/model_core.h"
#include "station/model/setting_controls.h"
#include "station/texts/lang.h"

namespace station {

class StationRows {
 public:
  // `controls`: the elements that occupancy and runs open and close; `lang`: the waiting
  // text.
  StationRows(ModelCore& core, SettingControls& controls, const LanguageTable& lang);

  // --- snapshots ---
  RowState row(int row) const;
  RowState slotRow(int slot) const;
  int rowOfSlot(int slot) const;
  Counters counters() const;
  // The slot's driveLetter, 0 when the slot is free.
  char slotDriveLetter(int slot) const;
  int findSlot(char drive) const;
  bool runMarked(int slot) const;

  // --- the slot table (window thread) ---
  // The lowest free entry takes the drive and its row's progress bar is shown; -1 when
  // every slot is held.
  int occupySlot(char drive);
  // occupiedCount + 1, chkBarFixed and CheckManuupgrade disabled.
  void slotTaken();
  // The removal of `drive`, all in one step: the row back to waiting, the two boxes
  // enabled again when every row waits, the slot freed, occupiedCount - 1 and, at 0,
  // every picture hidden and spare cell emptied. False when no slot held it.
  bool releaseDrive(char drive);
  // Marks the slot's run as started (at most once until its device is removed): true
  // when the slot holds a drive and no run was started on it yet.
  bool markRunStarted(int slot);
  // Manual upgrade: a registered row shows `text`, its colour kept; Upgradebtn takes the
  // drive of a slot that holds one, shows `registeredText` and has no run (marking it).
  void registerSlot(int slot, const std::string& text);
  std::optional<char> registeredDrive(int slot, const std::string& registeredText);
  // Binds every entry i to row i + 1 (FormShow, chkBarFixedClick).
  void bindSlotsToRows();
  void freeAllSlots();
  void setAllStatusTexts(const std::string& text);

  // --- a run's row ---
  void setStatusText(int slot, const std::string& text, TextColour colour);
  void setStatusColour(int slot, TextColour colour);
  void setProgress(int slot, int position);
  void setProgressVisible(int slot, bool visible);
  void setPortCell(int slot, const std::string& text);
  void setSpareCell(int slot, const std::string& text);
  // The picture's file must exist and the slot hold a drive; else nothing changes.
  void showPicture(int slot, StatusPicture picture);
  void hidePicture(int slot);
  // runningCount + 1; grpFileList and grpMPSetting disabled.
  void runStarted();
  // runningCount - 1 (held at 0, the groups enabled again at 0), then the tally.
  void runEnded(bool success);
  // When the slot no longer holds `drive` and its text is red, the row waits again.
  void resetRowIfReleased(int slot, char drive);

 private:
  static bool validSlot(int slot) { return slot >= 0 && slot < DEVICE_COUNT; }
  RowState& rowOf(int slot) { return rows_[binding_[slot]]; }
  const RowState& rowOf(int slot) const { return rows_[binding_[slot]]; }
  void publishSlot(int slot) const;  // lock held
  void publishCounters() const;      // lock held
  template <class F> void changeRow(int slot, F&& f);

  ModelCore& core_;
  SettingControls& controls_;
  const LanguageTable& lang_;
  std::array<char, DEVICE_COUNT> drive_{};
  std::array<int, DEVICE_COUNT> binding_{};
  std::array<bool, DEVICE_COUNT> runMark_{};
  std::array<RowState, DEVICE_COUNT> rows_;
  Counters counters_;
};

}  // namespace station

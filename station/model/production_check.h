// What production will need, looked at before any player is touched: the files of misc/
// that the sequence uses, the firmware images that the ticked options call for in the copy
// list, and a volume label that the FAT format takes. A station that lacks one of them
// would otherwise fail every player late (at its download, its format) or silently.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace station {

class StationModel;

struct ProductionNeeds {
  std::string programFolder;  // misc/ below it
  std::vector<std::string> copyList;
  bool fwUpgrade = false;   // chkFwUpgrade
  bool isoUpgrade = false;  // chkISOupgrade
  std::string label;        // LabelEdit
  // The chip variant runs will compare with; nothing: read from the copy list.
  std::optional<int> sdkBondingId;
};

// Why the FAT format would refuse the label, or nothing when it takes it. Without
// `lengthToo` only its characters are judged (typing cuts a label at 11 anyway).
std::optional<std::string> labelProblem(const std::string& label, bool lengthToo = true);

// What production would stumble on, one English sentence each, in a fixed order.
std::vector<std::string> productionProblems(const ProductionNeeds& needs);

// The folders without which a station cannot start (<folder>/misc), those missing.
std::vector<std::string> missingStationFolders(const std::string& programFolder);

// The station program turns the check on: each problem is said once on standard error,
// and in the trace (standard output) of a headless station.
void enableProductionCheck(bool headless);

// FormShow's last step: says what is missing or invalid, then follows the copy list, the
// label and the option boxes and says what becomes so. Nothing unless enabled.
void startProductionCheck(StationModel& model);

// Start Upgrade in manual upgrade mode: in a window, the problems still open are shown in
// a message box before the runs start (headless, the trace has said them already).
void productionCheckAtStart(StationModel& model);

}  // namespace station

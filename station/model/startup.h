// The window's start-up and close orders and the settings group's click handlers, as
// platform-free steps on the model. They run on the window's thread.
#pragma once

#include <functional>

#include "platform/single_instance.h"
#include "station/settings/settings.h"
#include "station/model/station_model.h"

namespace station {

// The Setting page's parts of the orders (its frame folders and preview), when present.
struct StartupHooks {
  std::function<void(StationModel&)> validateFrameFolders;  // FormShow, after the settings
  std::function<void()> stopPreview;                        // FormClose, first
  std::function<void()> releaseFrameLists;                  // FormClose, last
};

// The single-instance check and the empty port log. A later start has already asked the
// running window to come forward: false, and it must end touching nothing.
bool FormCreate(StationModel& model, platform::InstanceCheck check);

// Program folder as current directory, texts, caption, copy list, sdkBondingId, waiting
// rows, Edit5, the settings (their click handlers running), the enabling rules and the
// system area size, in that order; then the check of what production will need.
void FormShow(StationModel& model, const StartupHooks& hooks = {});

// Saves the settings and the copy list and releases the lock. False when a file could
// not be written: "Unable to write to <path>" is shown and the window stays open.
bool FormClose(StationModel& model, const StartupHooks& hooks = {});

// The stored settings put on the controls in the order of loading; a check box whose
// state changes runs its click handler as an operator's click would.
void applySettings(StationModel& model, const Settings& stored);

// The click handler that goes with a settings box (none for most), and the operator's
// click on the box: its new state, then that handler.
using BoxClick = void (*)(StationModel&);
BoxClick boxClickHandler(Check check);
void clickBox(StationModel& model, Check check, bool ticked);

void chkBarFixedClick(StationModel& model);
void SystemAreachkClick(StationModel& model);
void SystemAreaComBoChange(StationModel& model);

}  // namespace station

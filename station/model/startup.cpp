#include "station/model/startup.h"

#include <filesystem>

#include "station/engine/run_observer.h"
#include "station/engine/system_area.h"
#include "station/settings/copy_list.h"
#include "station/model/copy_list_edit.h"
#include "station/model/production_check.h"
#include "station/texts/fsm_version.h"

namespace station {

bool FormCreate(StationModel& model, platform::InstanceCheck check) {
  if (!check.lock) return false;
  model.setInstanceLock(std::move(check.lock));
  model.portLogFile().clear();
  return true;
}

void FormShow(StationModel& model, const StartupHooks& hooks) {
  std::error_code ec;
  std::filesystem::current_path(model.options().programFolder, ec);

  model.setActivePage(0);
  model.setComboIndexValue(15);  // "64MB"

  model.freeAllSlots();
  model.bindSlotsToRows();

  model.mutableLanguages().load(kLangIniPath, model.langId());

  const std::string& title = model.lang(LangText::TitleStr);
  model.setCaption(windowCaption(title, stationBuildDate(), fsmVersionText()), title);
  model.textsLoaded();

  model.setCopyList(loadCopyList(kSetingIniPath));
  model.setSdkBondingId(readSdkBondingId(model.copyList()));

  model.setAllStatusTexts(model.lang(LangText::WaitDeviceMsg));
  model.setEdit5("0");

  Settings stored;
  stored.load(kPreferIniPath);
  applySettings(model, stored);

  model.setEnabled(Element::SystemAreaComBo, model.checked(Check::SystemAreachk));
  if (hooks.validateFrameFolders) hooks.validateFrameFolders(model);
  model.setEnabled(Element::Upgradebtn, model.checked(Check::CheckManuupgrade));
  computeSystemArea(model);
  startProductionCheck(model);
}

bool FormClose(StationModel& model, const StartupHooks& hooks) {
  if (hooks.stopPreview) hooks.stopPreview();
  // First: a close that fails on a full disk must not lose the records either.
  closeRunObservers();
  if (auto error = model.settings().save(kPreferIniPath)) {
    model.showMessage(*error, model.appTitle(), MessageIcon::Error);
    return false;
  }
  // A copy list that cannot be saved would be lost with the window: keep it open too.
  if (!saveCopyList(kSetingIniPath, model.copyList())) {
    model.showMessage(std::string("Unable to write to ") + kSetingIniPath, model.appTitle(),
                      MessageIcon::Error);
    return false;
  }
  model.releaseInstanceLock();
  if (hooks.releaseFrameLists) hooks.releaseFrameLists();
  return true;
}

void applySettings(StationModel& model, const Settings& stored) {
  model.setSettingsPageValues(stored);
  struct Box {
    Check check;
    bool Settings::*field;
  };
  static const Box kBoxes[] = {
      {Check::chkFormat, &Settings::chkFormat},
      {Check::chkBlankCheck, &Settings::chkBlankCheck},
      {Check::chkFwUpgrade, &Settings::chkFwUpgrade},
      {Check::chkISOupgrade, &Settings::chkISOupgrade},
      {Check::CheckManuupgrade, &Settings::CheckManuupgrade},
      {Check::chkBarFixed, &Settings::chkBarFixed},
      {Check::SystemAreachk, &Settings::SystemAreachk},
  };
  for (const Box& box : kBoxes)
    if (model.setChecked(box.check, stored.*box.field))
      if (const BoxClick click = boxClickHandler(box.check)) click(model);
  model.setComboIndexValue(stored.SystemAreaComBo);  // no handler runs for it
  model.setLabelText(stored.LabelEdit, false);
  model.setChecked(Check::chkParityCheck, stored.chkParityCheck);
}

BoxClick boxClickHandler(Check check) {
  switch (check) {
    case Check::CheckManuupgrade: return CheckManuupgradeClick;
    case Check::chkBarFixed: return chkBarFixedClick;
    case Check::SystemAreachk: return SystemAreachkClick;
    default: return nullptr;
  }
}

void clickBox(StationModel& model, Check check, bool ticked) {
  model.setChecked(check, ticked);
  if (const BoxClick click = boxClickHandler(check)) click(model);
}

void chkBarFixedClick(StationModel& model) {
  if (!model.checked(Check::chkBarFixed)) model.bindSlotsToRows();
}

void SystemAreachkClick(StationModel& model) {
  model.setEnabled(Element::SystemAreaComBo, model.checked(Check::SystemAreachk));
  computeSystemArea(model);
}

void SystemAreaComBoChange(StationModel& model) { computeSystemArea(model); }

}  // namespace station

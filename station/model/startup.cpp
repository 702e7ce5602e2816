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

  model.controls().setActivePage(0);
  model.controls().setComboIndexValue(15);  // "64MB"

  model.rows().freeAllSlots();
  model.rows().bindSlotsToRows();

  model.mutableLanguages().load(kLangIniPath, model.langId());

  const std::string& title = model.lang(LangText::TitleStr);
  model.controls().setCaption(windowCaption(title, stationBuildDate(), fsmVersionText()), title);
  model.controls().textsLoaded();

  model.files().setCopyList(loadCopyList(kSetingIniPath));
  model.files().setSdkBondingId(readSdkBondingId(model.files().copyList()));

  model.rows().setAllStatusTexts(model.lang(LangText::WaitDeviceMsg));
  model.controls().setEdit5("0");

  Settings stored;
  stored.load(kPreferIniPath);
  applySettings(model, stored);

  model.controls().setEnabled(Element::SystemAreaComBo, model.controls().checked(Check::SystemAreachk));
  if (hooks.validateFrameFolders) hooks.validateFrameFolders(model);
  model.controls().setEnabled(Element::Upgradebtn, model.controls().checked(Check::CheckManuupgrade));
  computeSystemArea(model.reporter(), model.runSettings());
  startProductionCheck(model);
}

bool FormClose(StationModel& model, const StartupHooks& hooks) {
  if (hooks.stopPreview) hooks.stopPreview();
  // First: a close that fails on a full disk must not lose the records either.
  closeRunObservers();
  if (auto error = model.controls().settings().save(kPreferIniPath)) {
    model.showMessage(*error, model.controls().appTitle(), MessageIcon::Error);
    return false;
  }
  // A copy list that cannot be saved would be lost with the window: keep it open too.
  if (!saveCopyList(kSetingIniPath, model.files().copyList())) {
    model.showMessage(std::string("Unable to write to ") + kSetingIniPath, model.controls().appTitle(),
                      MessageIcon::Error);
    return false;
  }
  model.releaseInstanceLock();
  if (hooks.releaseFrameLists) hooks.releaseFrameLists();
  return true;
}

void applySettings(StationModel& model, const Settings& stored) {
  model.controls().setSettingsPageValues(stored);
  struct Box {
    Check check;
    bool Settings::*field;
    void (*click)(StationModel&);
  };
  static const Box kBoxes[] = {
      {Check::chkFormat, &Settings::chkFormat, nullptr},
      {Check::chkBlankCheck, &Settings::chkBlankCheck, nullptr},
      {Check::chkFwUpgrade, &Settings::chkFwUpgrade, nullptr},
      {Check::chkISOupgrade, &Settings::chkISOupgrade, nullptr},
      {Check::CheckManuupgrade, &Settings::CheckManuupgrade, CheckManuupgradeClick},
      {Check::chkBarFixed, &Settings::chkBarFixed, chkBarFixedClick},
      {Check::SystemAreachk, &Settings::SystemAreachk, SystemAreachkClick},
  };
  for (const Box& box : kBoxes)
    if (model.controls().setChecked(box.check, stored.*box.field) && box.click) box.click(model);
  model.controls().setComboIndexValue(stored.SystemAreaComBo);  // no handler runs for it
  model.controls().setLabelText(stored.LabelEdit, false);
  model.controls().setChecked(Check::chkParityCheck, stored.chkParityCheck);
}

void chkBarFixedClick(StationModel& model) {
  if (!model.controls().checked(Check::chkBarFixed)) model.rows().bindSlotsToRows();
}

void SystemAreachkClick(StationModel& model) {
  model.controls().setEnabled(Element::SystemAreaComBo, model.controls().checked(Check::SystemAreachk));
  computeSystemArea(model.reporter(), model.runSettings());
}

void SystemAreaComBoChange(StationModel& model) {
  computeSystemArea(model.reporter(), model.runSettings());
}

}  // namespace station

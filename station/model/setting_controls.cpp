#include "station/model/setting_controls.h"

#include <algorithm>

#include "base/ascii.h"

namespace station {

SettingControls::SettingControls(ModelCore& core)
    : core_(core), settings_(windowDefinedSettings()) {
  enabled_.fill(true);
  enabled_[static_cast<int>(Element::chkEraseAll)] = false;
  enabled_[static_cast<int>(Element::tabSetting)] = false;
  // Their boxes start unticked, and each is enabled only with its box.
  enabled_[static_cast<int>(Element::Upgradebtn)] = false;
  enabled_[static_cast<int>(Element::SystemAreaComBo)] = false;
}

bool& SettingControls::checkRef(Check check) {
  switch (check) {
    case Check::chkFormat: return settings_.chkFormat;
    case Check::chkBlankCheck: return settings_.chkBlankCheck;
    case Check::chkISOupgrade: return settings_.chkISOupgrade;
    case Check::chkEraseAll: return chkEraseAll_;
    case Check::CheckManuupgrade: return settings_.CheckManuupgrade;
    case Check::chkBarFixed: return settings_.chkBarFixed;
    case Check::chkFwUpgrade: return settings_.chkFwUpgrade;
    case Check::SystemAreachk: return settings_.SystemAreachk;
    case Check::chkParityCheck: return settings_.chkParityCheck;
  }
  return chkEraseAll_;
}

bool SettingControls::checkValue(Check check) const {
  return const_cast<SettingControls*>(this)->checkRef(check);
}

bool SettingControls::checked(Check check) const {
  auto held = core_.lock();
  return checkValue(check);
}

bool SettingControls::setChecked(Check check, bool value) {
  auto held = core_.lock();
  bool& box = checkRef(check);
  if (box == value) return false;
  box = value;
  core_.publish(CheckedChanged{check, value});
  return true;
}

int SettingControls::comboIndex() const {
  auto held = core_.lock();
  return settings_.SystemAreaComBo;
}

void SettingControls::setComboIndexValue(int index) {
  auto held = core_.lock();
  settings_.SystemAreaComBo = (index >= 0 && index < 16) ? index : -1;
  core_.publish(ComboIndexChanged{settings_.SystemAreaComBo});
}

std::string SettingControls::labelText() const {
  auto held = core_.lock();
  return settings_.LabelEdit;
}

void SettingControls::setLabelText(const std::string& text, bool typed) {
  std::string label = text;
  if (typed) {
    label.resize(std::min<size_t>(label.size(), 11));
    for (char& ch : label) ch = tarn::asciiUpper(ch);
  }
  auto held = core_.lock();
  settings_.LabelEdit = label;
  core_.publish(LabelChanged{label});
}

Settings SettingControls::settings() const {
  auto held = core_.lock();
  return settings_;
}

bool SettingControls::enabled(Element element) const {
  auto held = core_.lock();
  return enabledHeld(element);
}

void SettingControls::setEnabled(Element element, bool value) {
  auto held = core_.lock();
  if (enabledHeld(element) != value) setEnabledHeld(element, value);
}

void SettingControls::setEnabledHeld(Element element, bool value) {
  enabled_[static_cast<int>(element)] = value;
  core_.publish(EnabledChanged{element, value});
}

std::string SettingControls::systemAreaText() const {
  auto held = core_.lock();
  return systemAreaText_;
}

void SettingControls::setSystemAreaText(const std::string& text) {
  auto held = core_.lock();
  systemAreaText_ = text;
  core_.publish(SystemAreaTextChanged{text});
}

std::string SettingControls::caption() const {
  auto held = core_.lock();
  return caption_;
}

std::string SettingControls::appTitle() const {
  auto held = core_.lock();
  return appTitle_;
}

void SettingControls::setCaption(const std::string& caption, const std::string& title) {
  auto held = core_.lock();
  caption_ = caption;
  appTitle_ = title;
  core_.publish(CaptionChanged{caption, title});
}

void SettingControls::textsLoaded() {
  auto held = core_.lock();
  core_.publish(TextsLoaded{});
}

int SettingControls::activePage() const {
  auto held = core_.lock();
  return activePage_;
}

void SettingControls::setActivePage(int page) {
  auto held = core_.lock();
  activePage_ = page;
  core_.publish(PageChanged{page});
}

std::string SettingControls::edit5() const {
  auto held = core_.lock();
  return edit5_;
}

void SettingControls::setEdit5(const std::string& text) {
  auto held = core_.lock();
  edit5_ = text;
  core_.publish(SettingsPageChanged{settings_, edit5_});
}

void SettingControls::setSettingsPageValues(const Settings& v) {
  auto held = core_.lock();
  settings_.startupFolder = v.startupFolder;
  settings_.shutdownFolder = v.shutdownFolder;
  settings_.fmSelection = v.fmSelection;
  // The track bar shows its position in Edit5 whenever it moves.
  if (settings_.contrast != v.contrast) edit5_ = std::to_string(v.contrast);
  settings_.contrast = v.contrast;
  settings_.playerLanguage = v.playerLanguage;
  settings_.frameWidth = v.frameWidth;
  settings_.frameHeight = v.frameHeight;
  core_.publish(SettingsPageChanged{settings_, edit5_});
}

SettingPageState SettingControls::settingPageState() const {
  auto held = core_.lock();
  return pageState_;
}

void SettingControls::setSettingPageState(const SettingPageState& state) {
  auto held = core_.lock();
  pageState_ = state;
  core_.publish(PageStateChanged{state});
}

}  // namespace station

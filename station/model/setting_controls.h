// The settings and the pages of the window model: the settings group's check boxes, the
// system area combo and label, which elements take input, the system area size line, the
// caption, the active page and the Setting page's values and state. The operator's input
// and the handlers write them on the window thread; runs read them when a step needs them.
#pragma once

#include <array>
#include <string>

#include "platform/single_instance.h"
#include "station/model/model_core.h"

namespace station {

class SettingControls {
 public:
  explicit SettingControls(ModelCore& core);

  // --- the settings group ---
  bool checked(Check check) const;
  // Sets the box without running its click handler; true when the state changed.
  bool setChecked(Check check, bool value);
  int comboIndex() const;  // SystemAreaComBo, -1 when none
  void setComboIndexValue(int index);
  std::string labelText() const;
  // LabelEdit as the operator types it: letters forced to upper case, at most 11
  // characters. A value put in by the program (the settings load) stands as it is.
  void setLabelText(const std::string& text, bool typed = true);
  // The values of every settings control, as saved to prefer.ini.
  Settings settings() const;

  // --- which elements take input ---
  bool enabled(Element element) const;
  void setEnabled(Element element, bool value);
  // The same for another part's step, with the model's lock held: records the state and
  // its change even when it stays the same.
  bool enabledHeld(Element element) const { return enabled_[static_cast<int>(element)]; }
  void setEnabledHeld(Element element, bool value);

  // --- window and pages ---
  std::string systemAreaText() const;  // labSystemArea
  void setSystemAreaText(const std::string& text);
  std::string caption() const;
  std::string appTitle() const;
  void setCaption(const std::string& caption, const std::string& title);
  // The language table was loaded.
  void textsLoaded();
  int activePage() const;
  void setActivePage(int page);

  // --- the Setting page ---
  std::string edit5() const;
  void setEdit5(const std::string& text);
  // The page's values (not the check boxes, the combo or the label).
  void setSettingsPageValues(const Settings& values);
  SettingPageState settingPageState() const;
  void setSettingPageState(const SettingPageState& state);

 private:
  bool& checkRef(Check check);
  bool checkValue(Check check) const;

  ModelCore& core_;
  std::array<bool, kElementCount> enabled_{};
  Settings settings_;  // check boxes, combo, label and the Setting page's values
  bool chkEraseAll_ = false;
  std::string systemAreaText_ = "System Area Size:";
  std::string caption_ = platform::kInstanceName;
  std::string appTitle_ = platform::kInstanceName;
  int activePage_ = 0;
  std::string edit5_;
  SettingPageState pageState_;
};

}  // namespace station

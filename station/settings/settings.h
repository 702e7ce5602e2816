// The production settings kept in prefer.ini: one field per window control that holds a
// setting (the comment names the control where the field's name does not), loaded once at
// start-up and saved at close.
#pragma once

#include <optional>
#include <string>

#include "platform/program_folder.h"

namespace station {

inline const std::string kPreferIniPath = platform::miscPath("prefer.ini");

// The fields' initial values are the keys' defaults (taken when prefer.ini lacks a key).
struct Settings {
  std::string startupFolder;        // Edit2, Animation/Startup: start-up animation frame folder
  std::string shutdownFolder;       // Edit4, Animation/Shutdown: shutdown animation frame folder
  int fmSelection = 0;              // ComboBox1, FM/selection: 0 FM present, 1 no FM, -1 none
  int contrast = 0;                 // TrackBar1, LCD/Contrast: 0 to 10
  int playerLanguage = 0;           // ComboBox3, Language/Lang: player language item, -1 none
  std::string frameWidth = "160";   // Edit1, Animation/Width: frame width, kept as text
  std::string frameHeight = "128";  // Edit6, Animation/Height: frame height, kept as text
  bool chkFormat = false;       // MP_Setting/Format
  bool chkBlankCheck = false;   // MP_Setting/Blanking check
  bool chkFwUpgrade = true;     // MP_Setting/FwUpgrade
  bool chkISOupgrade = false;   // MP_Setting/ISO upgrade
  bool CheckManuupgrade = false;  // MP_Setting/Manual Upgrade
  bool chkBarFixed = true;      // MP_Setting/Bar Fixed
  bool SystemAreachk = false;   // MP_Setting/System Area check
  int SystemAreaComBo = 0;      // MP_Setting/System Area Size: item of "4MB".."64MB", -1 none
  std::string LabelEdit;        // MP_Setting/Label: volume label
  bool chkParityCheck = true;   // MP_Setting/FwParityCheck

  // Every field from the file, or its default when the file or the key is absent or the
  // value is no integer. Values the control cannot hold come out as the control would
  // show them: an item index outside its list is -1, the contrast is held to 0..10.
  void load(const std::string& path);

  // Writes every key into a copy of the file and puts the copy in its place, so the file
  // is never left half-written. Gives "Unable to write to <path>" when it cannot.
  std::optional<std::string> save(const std::string& path) const;

  bool operator==(const Settings&) const = default;
};

// What the controls hold as the window defines them, before the settings are loaded.
inline Settings windowDefinedSettings() {
  Settings s;
  s.chkFwUpgrade = false;
  s.chkBarFixed = false;
  s.chkParityCheck = false;
  s.LabelEdit = "MY_AUDIO";
  return s;
}

// An integer value as the settings read it: decimal, or hexadecimal after "0x" / "0X";
// nullopt for anything else (the caller then takes the key's default).
std::optional<int> parseSettingInteger(const std::string& text);

}  // namespace station

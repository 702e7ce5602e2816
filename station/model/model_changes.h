// What the window model is made of, as its listeners see it: the row state, the counters,
// the settings group's boxes and elements, and one change record per kind of change.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "station/ops/run_reporter.h"
#include "station/settings/prefer_package_page.h"
#include "station/settings/settings.h"

namespace station {

// Check boxes of the settings group.
enum class Check {
  chkFormat, chkBlankCheck, chkISOupgrade, chkEraseAll, CheckManuupgrade, chkBarFixed,
  chkFwUpgrade, SystemAreachk, chkParityCheck,
};
inline constexpr int kCheckCount = 9;
const char* checkName(Check check);

// Elements whose enabled state changes (or is fixed off).
enum class Element {
  grpFileList, grpMPSetting, Upgradebtn, SystemAreaComBo, chkBarFixed, CheckManuupgrade,
  chkEraseAll, tabSetting,
};
inline constexpr int kElementCount = 8;
const char* elementName(Element element);

struct RowState {
  std::string text;  // the language table's bytes with ASCII suffixes
  TextColour colour = TextColour::WindowText;
  int progress = 0;
  bool progressVisible = false;
  std::optional<StatusPicture> picture;  // the picture loaded into the control
  bool pictureVisible = false;
  std::string port;   // TextPn
  std::string spare;  // TextFn: the flash name
  bool operator==(const RowState&) const = default;
};

struct Counters {
  int total = 0, success = 0, fail = 0, running = 0, occupied = 0;
  bool operator==(const Counters&) const = default;
};

struct ModalMessage {
  std::string text, caption;  // bytes as given (language texts or fixed English)
  MessageIcon icon = MessageIcon::None;
};

// One record per kind of change, each with the values after it.
struct RowChanged {
  int slot = -1;  // the entry bound to the row
  int row = -1;   // the displayed row
  RowState state;
};
struct CountersChanged { Counters counters; };
struct EnabledChanged {
  Element element = Element::grpFileList;
  bool enabled = false;
};
struct CheckedChanged {
  Check check = Check::chkFormat;
  bool checked = false;
};
struct ComboIndexChanged { int index = -1; };  // SystemAreaComBo's item, -1 none
struct LabelChanged { std::string text; };      // LabelEdit
struct CopyListChanged {
  std::vector<std::string> items;
  std::vector<int> selection;
};
struct SystemAreaTextChanged { std::string text; };  // labSystemArea
struct CaptionChanged {
  std::string caption;  // the window caption (bytes)
  std::string title;    // the application title
};
// The language table was loaded: every caption is to be put on again.
struct TextsLoaded {};
// The Setting page's values (Edit1.., ComboBox1/3, TrackBar1) and Edit5.
struct SettingsPageChanged {
  Settings settings;
  std::string edit5;
};
// The Setting page's own state (Edit9, its buttons' enabling).
struct PageStateChanged { SettingPageState state; };
struct PageChanged { int page = 0; };  // 0 production, 1 Setting
struct MessageAsked { ModalMessage message; };
// The slot table was bound to the rows again.
struct SlotsRebound {};

using Change = std::variant<RowChanged, CountersChanged, EnabledChanged, CheckedChanged,
                            ComboIndexChanged, LabelChanged, CopyListChanged,
                            SystemAreaTextChanged, CaptionChanged, TextsLoaded,
                            SettingsPageChanged, PageStateChanged, PageChanged, MessageAsked,
                            SlotsRebound>;

}  // namespace station

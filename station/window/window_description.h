// The station's windows as data, for every front end: each element's name, kind, parent,
// geometry, text source, font, initial states, the model value it shows and the handler
// its input calls. A front end creates what this lists and nothing else; the binder
// (binder.h) keeps the elements up to date by name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/ops/run_reporter.h"
#include "station/model/station_model.h"
#include "station/texts/lang.h"

namespace station {

enum class ControlKind {
  Window,       // a top-level window; its text is the caption
  PageControl,  // tab pages; value: the page shown
  Page,         // one tab page of its parent; text: the tab's caption
  GroupBox,     // text: the title
  Label,
  CheckBox,
  ComboBox,     // items; value: the chosen item, -1 none
  LineEdit,
  ListBox,      // items and selection, several may be chosen
  Button,
  ProgressBar,  // value within minimum..maximum
  Picture,      // a picture at the control's size (scaled) or its own (clipped)
  TrackBar,     // value within minimum..maximum
};

enum class FontRole {
  Normal,  // the system's font
  Bold,    // bold, 16 pixels
  Row,     // the row cells: bold, 14 pixels, condensed (the cells are narrow)
};

// The row font's pixel size, and the sizes a row cell's text is drawn at, in this
// order, until it fits its cell: one line, then two (the cells keep their places).
constexpr int kRowFontPixels = 14;
constexpr int kSmallestRowFontPixels = 9;
struct RowFit {
  int pixels;
  bool twoLines;
};
inline constexpr RowFit kRowFits[] = {{14, false}, {13, false}, {12, false}, {11, false},
                                      {11, true},  {10, true},  {9, true}};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// A caption: the language table's text for `key` or else `literal` (UTF-8), then
// `suffix`. Neither: the caption comes from the model (`shows`) or stays empty.
struct TextSource {
  std::optional<LangText> key;
  std::string literal;
  std::string suffix;
  bool empty() const { return !key && literal.empty() && suffix.empty(); }
};

// The model value an element shows; the binder puts it on whenever it changes.
enum class Shows {
  Nothing,
  Caption,         // the window's caption
  ActivePage,      // PageControl
  Checked,         // a check box of the settings group (its name is the Check's)
  SystemAreaIndex, SystemAreaText, Label, CopyList,
  RowPort, RowStatus, RowProgress, RowPicture, RowSpare,  // with `row`
  Total, Success, Fail,
  // the Setting page's values (Edit1, Edit2, Edit4, Edit5, Edit6, ComboBox1, ComboBox3,
  // TrackBar1) and its own state (Edit9)
  FrameWidth, StartupFolder, ShutdownFolder, ContrastText, FrameHeight, FmSelection, PlayerLanguage,
  Contrast, ChosenPackage,
  PreviewFrame,    // the preview's picture
};

// What the operator's input on an element calls.
enum class Handler {
  None,
  CheckBoxClick,  // the box's state into the model, then its click handler (if any)
  SystemAreaComBoChange, LabelEditChange, SelectFileList2Select,
  AddFilesBtnClick, RemoveBtnClick, UpgradebtnClick,
  Button1Click, Button2Click, Button4Click, Button5Click, btnSelectPreferClick,
  Button6Click, Button8Click, ComboBox1Change, ComboBox3Change, TrackBar1Change,
  btnPlayClick, btnStopClick,
};

struct ElementDesc {
  std::string name;    // unique over all windows
  ControlKind kind = ControlKind::Label;
  std::string parent;  // "" for a window
  Rect geometry;       // in the parent's client area
  TextSource text;
  FontRole font = FontRole::Normal;
  bool visible = true;
  bool enabled = true;
  std::optional<TextColour> colour;  // a fixed text colour
  std::vector<std::string> items;    // combo box items (UTF-8)
  int minimum = 0, maximum = 0;      // progress bar, track bar
  int maxLength = 0;                 // line edit: 0 no limit
  bool readOnly = false;             // line edit
  bool upperCase = false;            // line edit: letters typed become capitals
  bool scaled = false;               // picture: stretched to the control
  bool fixedSize = false;            // window: not resizable, no maximise button
  Shows shows = Shows::Nothing;
  int row = -1;                      // the row (0..7) of a row cell
  Handler handler = Handler::None;
};

struct WindowDesc {
  std::vector<ElementDesc> elements;  // the window first, every parent before its children
  const ElementDesc& window() const { return elements.front(); }
  const ElementDesc* find(std::string_view name) const;
};

// Form1: the production page, the Setting page and their controls.
const WindowDesc& mainWindowDesc();
// frmBmpPreview: the animation preview.
const WindowDesc& previewWindowDesc();

// The row template: the names of row `row`'s cells (0..7).
enum class RowCell { Port, Label, Status, Bar, Picture, Spare };
std::string rowCellName(RowCell cell, int row);

// The element that carries a model element's enabled state.
const char* enabledElementName(Element element);

}  // namespace station

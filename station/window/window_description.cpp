#include "station/window/window_description.h"

namespace station {

namespace {

constexpr int kClientWidth = 872;
constexpr int kClientHeight = 557;
constexpr int kRowTop = 216;
constexpr int kRowPitch = 32;
constexpr int kRowHeight = 24;

TextSource key(LangText id, std::string suffix = {}) { return {id, {}, std::move(suffix)}; }
TextSource literal(std::string text) { return {std::nullopt, std::move(text), {}}; }

ElementDesc element(std::string name, ControlKind kind, std::string parent, Rect geometry,
                    TextSource text = {}) {
  ElementDesc e;
  e.name = std::move(name);
  e.kind = kind;
  e.parent = std::move(parent);
  e.geometry = geometry;
  e.text = std::move(text);
  return e;
}

ElementDesc shows(ElementDesc e, Shows value) {
  e.shows = value;
  return e;
}

ElementDesc handled(ElementDesc e, Handler handler) {
  e.handler = handler;
  return e;
}

ElementDesc enabledBy(ElementDesc e, Element enabler) {
  e.enabledBy = EnabledBy::Model;
  e.enabler = enabler;
  return e;
}

void addProductionPage(std::vector<ElementDesc>& out) {
  const std::string page = "TabSheet4";
  out.push_back(element(page, ControlKind::Page, "PageControl", {}, key(LangText::PageStr)));

  // The settings group: the check boxes, the system area size and the volume label.
  out.push_back(enabledBy(element("grpMPSetting", ControlKind::GroupBox, page, {8, 4, 520, 142}),
                          Element::grpMPSetting));
  // Three boxes are also switched on and off by the model.
  struct Box { Check check; const char* name; LangText text; int x, y, width; std::optional<Element> enabler; };
  const Box boxes[] = {
      {Check::chkFormat, "chkFormat", LangText::FormatStr, 10, 14, 200, {}},
      {Check::chkBlankCheck, "chkBlankCheck", LangText::BlankingCheckStr, 10, 38, 200, {}},
      {Check::chkISOupgrade, "chkISOupgrade", LangText::VirtualCDROMStr, 10, 62, 200, {}},
      {Check::chkEraseAll, "chkEraseAll", LangText::FlashEraseStr, 10, 86, 200, Element::chkEraseAll},
      {Check::CheckManuupgrade, "CheckManuupgrade", LangText::MenuUpgradeStr, 10, 110, 200, Element::CheckManuupgrade},
      {Check::chkFwUpgrade, "chkFwUpgrade", LangText::FwUpgradeStr, 220, 14, 200, {}},
      {Check::chkParityCheck, "chkParityCheck", LangText::FwParityCheckStr, 220, 38, 200, {}},
      {Check::SystemAreachk, "SystemAreachk", LangText::FixSystemAreaSizeStr, 220, 62, 190, {}},
      {Check::chkBarFixed, "chkBarFixed", LangText::BarFixedStr, 220, 110, 200, Element::chkBarFixed},
  };
  for (const Box& b : boxes) {
    ElementDesc e = element(b.name, ControlKind::CheckBox, "grpMPSetting", {b.x, b.y, b.width, 22}, key(b.text));
    e.shows = Shows::Checked;
    e.check = b.check;
    e.handler = Handler::ToggleOption;
    e.visible = b.check != Check::chkBarFixed;
    e.enabled = b.check != Check::chkEraseAll;
    if (b.enabler) e = enabledBy(e, *b.enabler);
    out.push_back(e);
  }
  ElementDesc combo = element("SystemAreaComBo", ControlKind::ComboBox, "grpMPSetting", {414, 61, 90, 24});
  for (int mb = 4; mb <= 64; mb += 4) combo.items.push_back(std::to_string(mb) + "MB");
  combo.shows = Shows::SystemAreaIndex;
  combo.handler = Handler::ChooseSystemAreaSize;
  out.push_back(enabledBy(combo, Element::SystemAreaComBo));
  out.push_back(element("LabelStatic", ControlKind::Label, "grpMPSetting", {222, 88, 60, 22},
                        key(LangText::LabelStr, ":")));
  ElementDesc label = element("LabelEdit", ControlKind::LineEdit, "grpMPSetting", {284, 87, 150, 24});
  label.maxLength = 11;
  label.upperCase = true;
  label.shows = Shows::VolumeLabel;
  label.handler = Handler::EditLabel;
  out.push_back(label);

  // The copy list.
  out.push_back(enabledBy(element("grpFileList", ControlKind::GroupBox, page, {536, 4, 328, 174},
                                  key(LangText::SysPreCopyStr)),
                          Element::grpFileList));
  out.push_back(handled(shows(element("SelectFileList2", ControlKind::ListBox, "grpFileList", {8, 22, 312, 112}),
                              Shows::CopyList),
                        Handler::SelectCopyItems));
  out.push_back(handled(element("AddFilesBtn", ControlKind::Button, "grpFileList", {8, 140, 150, 26},
                                key(LangText::AddFileStr, "...")),
                        Handler::AddFiles));
  out.push_back(handled(element("RemoveBtn", ControlKind::Button, "grpFileList", {170, 140, 150, 26},
                                key(LangText::RemoveStr)),
                        Handler::RemoveFiles));

  ElementDesc area = shows(element("labSystemArea", ControlKind::Label, page, {8, 152, 340, 24}), Shows::SystemAreaText);
  area.font = FontRole::Bold;
  out.push_back(area);
  out.push_back(enabledBy(handled(element("Upgradebtn", ControlKind::Button, page, {368, 150, 160, 28},
                                          key(LangText::MenuUpgradeStartStr)),
                                  Handler::StartUpgrade),
                          Element::Upgradebtn));

  // The eight rows, from one template.
  for (int i = 0; i < DEVICE_COUNT; ++i) {
    const int y = kRowTop + kRowPitch * i;
    auto cell = [&](RowCell c, ControlKind kind, int x, int width, Shows value) {
      ElementDesc e = element(rowCellName(c, i), kind, page, {x, y, width, kRowHeight});
      e.shows = value;
      e.row = i;
      return e;
    };
    out.push_back(cell(RowCell::Port, ControlKind::Label, 0, 54, Shows::RowPort));
    ElementDesc name = cell(RowCell::Label, ControlKind::Label, 56, 64, Shows::Nothing);
    name.text = key(LangText::DeviceStr, " " + std::to_string(i + 1) + ": ");
    name.font = FontRole::Row;
    out.push_back(name);
    ElementDesc status = cell(RowCell::Status, ControlKind::Label, 120, 144, Shows::RowStatus);
    status.font = FontRole::Row;
    out.push_back(status);
    ElementDesc bar = cell(RowCell::Bar, ControlKind::ProgressBar, 264, 380, Shows::RowProgress);
    bar.maximum = 100;
    bar.visible = false;
    out.push_back(bar);
    ElementDesc picture = cell(RowCell::Picture, ControlKind::Picture, 656, 32, Shows::RowPicture);
    picture.scaled = true;
    out.push_back(picture);
    out.push_back(cell(RowCell::Spare, ControlKind::Label, 700, 164, Shows::RowSpare));
  }

  // The tally.
  out.push_back(element("GroupBox16", ControlKind::GroupBox, page, {8, 470, 856, 52}, key(LangText::LogStr)));
  struct Counter { const char* label; LangText text; const char* value; Shows shows; TextColour colour; };
  const Counter counters[] = {
      {"StaticText10", LangText::TotalMsg, "TotalStr", Shows::Total, TextColour::WindowText},
      {"StaticText11", LangText::SuccessMsg, "SuccessStr", Shows::Success, TextColour::Blue},
      {"StaticText12", LangText::FailMsg, "FailStr", Shows::Fail, TextColour::Red},
  };
  for (int i = 0; i < 3; ++i) {
    const Counter& c = counters[i];
    ElementDesc l = element(c.label, ControlKind::Label, "GroupBox16", {16 + 280 * i, 20, 130, 24}, key(c.text, ":"));
    l.font = FontRole::Bold;
    out.push_back(l);
    ElementDesc v = shows(element(c.value, ControlKind::Label, "GroupBox16", {150 + 280 * i, 20, 110, 24}), c.shows);
    v.font = FontRole::Bold;
    v.colour = c.colour;
    out.push_back(v);
  }
}

void addSettingPage(std::vector<ElementDesc>& out) {
  const std::string page = "tabSetting";
  ElementDesc tab = enabledBy(element(page, ControlKind::Page, "PageControl", {}, key(LangText::SettingMsg)),
                              Element::tabSetting);
  tab.enabled = false;
  out.push_back(tab);
  struct Field { const char* caption; const char* label; const char* edit; Shows shows; };
  const Field fields[] = {
      {"Width", "Label1", "Edit1", Shows::FrameWidth},     {"Startup", "Label2", "Edit2", Shows::StartupFolder},
      {"Shutdown", "Label3", "Edit4", Shows::ShutdownFolder},  {"Contrast", "Label4", "Edit5", Shows::ContrastText},
      {"Height", "Label5", "Edit6", Shows::FrameHeight},
  };
  for (int i = 0; i < 5; ++i) {
    const Field& f = fields[i];
    out.push_back(element(f.label, ControlKind::Label, page, {16, 16 + 32 * i, 90, 24}, literal(f.caption)));
    ElementDesc edit = shows(element(f.edit, ControlKind::LineEdit, page, {110, 16 + 32 * i, 300, 24}), f.shows);
    edit.readOnly = true;
    out.push_back(edit);
  }
  ElementDesc fm = shows(element("ComboBox1", ControlKind::ComboBox, page, {110, 180, 120, 24}), Shows::FmSelection);
  fm.items = {"有", "無"};
  fm.handler = Handler::ChooseFm;
  out.push_back(fm);
  ElementDesc language = shows(element("ComboBox3", ControlKind::ComboBox, page, {240, 180, 120, 24}), Shows::PlayerLanguage);
  language.items = {"繁體中文", "簡體中文", "英文", "日文"};
  language.handler = Handler::ChoosePlayerLanguage;
  out.push_back(language);
  ElementDesc contrast = shows(element("TrackBar1", ControlKind::TrackBar, page, {110, 216, 300, 24}), Shows::Contrast);
  contrast.maximum = 10;
  contrast.handler = Handler::ChooseContrast;
  out.push_back(contrast);

  auto button = [&](const char* name, const char* text, Rect geometry, Handler handler) {
    out.push_back(handled(element(name, ControlKind::Button, page, geometry, literal(text)), handler));
  };
  button("Button1", "...", {416, 48, 32, 24}, Handler::ChooseStartupFolder);
  button("Button2", "Preview", {456, 48, 80, 24}, Handler::PreviewStartup);
  out.back().enabledBy = EnabledBy::StartupPreview;
  button("Button4", "...", {416, 80, 32, 24}, Handler::ChooseShutdownFolder);
  button("Button5", "Preview", {456, 80, 80, 24}, Handler::PreviewShutdown);
  out.back().enabledBy = EnabledBy::ShutdownPreview;
  out.push_back(element("Label9", ControlKind::Label, page, {16, 256, 90, 24}, literal("prefer.dat")));
  ElementDesc edit9 = shows(element("Edit9", ControlKind::LineEdit, page, {110, 256, 300, 24}), Shows::ChosenPackage);
  edit9.readOnly = true;
  edit9.enabled = false;  // as the window defines it: the program never enables it
  out.push_back(edit9);
  button("btnSelectPrefer", "...", {416, 256, 32, 24}, Handler::ChoosePackage);
  out.back().enabled = false;
  button("Button6", "Apply", {110, 300, 90, 28}, Handler::ApplyPackage);
  out.back().enabled = false;
  out.back().enabledBy = EnabledBy::Apply;
  button("Button7", "Ok", {210, 300, 90, 28}, Handler::None);
  out.back().enabled = false;
  button("Button8", "Cancel", {310, 300, 90, 28}, Handler::CancelSettings);
}

WindowDesc makeMainWindow() {
  WindowDesc d;
  ElementDesc form = element("Form1", ControlKind::Window, "", {0, 0, kClientWidth, kClientHeight});
  form.fixedSize = true;
  form.shows = Shows::Caption;
  d.elements.push_back(form);
  d.elements.push_back(shows(element("PageControl", ControlKind::PageControl, "Form1", {0, 0, kClientWidth, kClientHeight}),
                             Shows::ActivePage));
  addProductionPage(d.elements);
  addSettingPage(d.elements);
  return d;
}

WindowDesc makePreviewWindow() {
  WindowDesc d;
  ElementDesc form = element("frmBmpPreview", ControlKind::Window, "", {0, 0, 200, 243}, literal("frmBmpPreview"));
  form.fixedSize = true;
  form.visible = false;  // until a Preview shows it
  d.elements.push_back(form);
  // At its own size from the top-left corner, clipped to the control.
  d.elements.push_back(shows(element("Image1", ControlKind::Picture, "frmBmpPreview", {24, 24, 129, 121}),
                             Shows::PreviewFrame));
  d.elements.push_back(handled(element("btnPlay", ControlKind::Button, "frmBmpPreview", {16, 180, 75, 25}, literal("Play")),
                               Handler::Play));
  d.elements.push_back(handled(element("btnStop", ControlKind::Button, "frmBmpPreview", {108, 180, 75, 25}, literal("Stop")),
                               Handler::Stop));
  return d;
}

}  // namespace

const ElementDesc* WindowDesc::find(std::string_view name) const {
  for (const ElementDesc& e : elements)
    if (e.name == name) return &e;
  return nullptr;
}

const WindowDesc& mainWindowDesc() {
  static const WindowDesc d = makeMainWindow();
  return d;
}

const WindowDesc& previewWindowDesc() {
  static const WindowDesc d = makePreviewWindow();
  return d;
}

std::string rowCellName(RowCell cell, int row) {
  const std::string n = std::to_string(row + 1);
  switch (cell) {
    case RowCell::Port: return "TextP" + n;
    // StaticText2 is not a row's: the rows after the first are numbered from 3.
    case RowCell::Label: return row == 0 ? "StaticText1" : "StaticText" + std::to_string(row + 2);
    case RowCell::Status: return "D" + n + "infoStr";
    case RowCell::Bar: return "ProgressBar" + n;
    case RowCell::Picture: return "infoImage" + n;
    case RowCell::Spare: return "TextF" + n;
  }
  return {};
}

namespace {

template <class Matches>
const std::string& nameOfFirst(Matches matches) {
  static const std::string none;
  for (const WindowDesc* w : {&mainWindowDesc(), &previewWindowDesc()})
    for (const ElementDesc& e : w->elements)
      if (matches(e)) return e.name;
  return none;
}

}  // namespace

const char* checkName(Check check) {
  return nameOfFirst([&](const ElementDesc& e) { return e.check == check; }).c_str();
}

const char* enabledElementName(Element element) {
  return nameOfFirst([&](const ElementDesc& e) { return e.enabledBy == EnabledBy::Model && e.enabler == element; })
      .c_str();
}

const std::string& elementShowing(Shows value, int row) {
  return nameOfFirst([&](const ElementDesc& e) { return e.shows == value && e.row == row; });
}

const std::string& elementCalling(Handler handler) {
  return nameOfFirst([&](const ElementDesc& e) { return e.handler == handler; });
}

}  // namespace station

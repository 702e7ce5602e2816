#include "station/window/binder.h"

#include <exception>
#include <variant>

#include "base/ascii.h"
#include "base/overloaded.h"
#include "platform/text_codec.h"
#include "station/model/copy_list_edit.h"
#include "station/ops/device_tool.h"

namespace station {

std::string pathToUtf8(const std::string& path) { return platform::toUtf8(path, platform::CodePage::System); }
namespace {

constexpr platform::CodePage kLabelCodePage = platform::kVolumeLabelCodePage;
constexpr size_t kLabelBytes = 11;

}  // namespace

std::string labelToUtf8(const std::string& bytes) { return platform::toUtf8(bytes, kLabelCodePage); }

std::optional<std::string> labelFromUtf8(const std::string& text) {
  // Capitals before the conversion: in a double-byte code page a trail byte can look
  // like an ASCII letter.
  std::string upper = text;
  for (char& ch : upper) ch = tarn::asciiUpper(ch);
  std::optional<std::string> bytes = platform::fromUtf8(upper, kLabelCodePage);
  if (!bytes || bytes->size() > kLabelBytes) return std::nullopt;
  return bytes;
}

Binder::Binder(StationModel& model, FrontEnd& frontEnd, BinderDeps deps)
    : model_(model), fe_(frontEnd), deps_(std::move(deps)) {
  if (deps_.loader) makeSettingPage();
}

Binder::~Binder() { detach(); }

FrontEndInputs inputsOf(Binder& b) {
  return {[&b](const std::string& n) { b.clicked(n); },
          [&b](const std::string& n, bool v) { b.toggled(n, v); },
          [&b](const std::string& n, int v) { b.chosen(n, v); },
          [&b](const std::string& n, const std::string& t) { b.edited(n, t); },
          [&b](const std::string& n, std::vector<int> s) { b.selected(n, std::move(s)); }};
}

void Binder::makeSettingPage() {
  SettingPageDeps d;
  d.values = [this] { return model_.controls().settings(); };
  d.setValues = [this](const Settings& s) { model_.controls().setSettingsPageValues(s); };
  d.setEdit5 = [this](const std::string& text) { model_.controls().setEdit5(text); };
  d.loader = deps_.loader;
  d.chooseFolder = [this] { return fe_.chooseFolder(); };
  d.choosePackage = [this] { return fe_.choosePackage(display(model_.lang(LangText::SelectFileStr))); };
  d.message = [this](const std::string& text, const std::string& caption) {
    fe_.messageBox(text, caption, MessageIcon::None);
  };
  d.stopPreview = [this] { if (deps_.stopPreview) deps_.stopPreview(); };
  d.closeMainWindow = [this] { fe_.closeWindow(mainWindowDesc().window().name); };
  d.closePreview = [this] { if (deps_.closePreview) deps_.closePreview(); };
  d.pump = [this] { model_.pump(); };
  if (!deps_.newPackagePath.empty()) d.newPackagePath = deps_.newPackagePath;
  page_ = std::make_unique<SettingPage>(std::move(d), model_.controls().settingPageState());
  page_->setListener([this] { model_.controls().setSettingPageState(page_->state()); });
  StartupHooks& h = deps_.hooks;
  if (!h.validateFrameFolders) h.validateFrameFolders = [this](StationModel&) { page_->validateStoredFolders(); };
  if (!h.stopPreview) h.stopPreview = [this] { if (deps_.stopPreview) deps_.stopPreview(); };
  if (!h.releaseFrameLists) h.releaseFrameLists = [this] { page_->releaseFrameLists(); };
}

std::string Binder::display(const std::string& bytes) const { return model_.display(bytes); }

void createWindow(FrontEnd& frontEnd, const WindowDesc& window) {
  for (const ElementDesc& e : window.elements) {
    frontEnd.createControl(e);
    if (!e.text.key && !e.text.empty()) frontEnd.setText(e.name, e.text.literal + e.text.suffix);
  }
}

void Binder::create(const WindowDesc& window) {
  windows_.push_back(&window);
  createWindow(fe_, window);
}

void Binder::attach() {
  if (attached_) return;
  attached_ = true;
  // One queue into the window thread keeps the model's order of changes.
  listener_ = model_.addListener([this](const Change& c) {
    fe_.runOnWindowThread(
        [this, c] {
          apply(c);
          if (applied_) applied_(c);
        },
        false);
  });
  model_.setMessageHandler([this](const ModalMessage& m) {
    fe_.runOnWindowThread([this, &m] { message(display(m.text), display(m.caption), m.icon); }, true);
  });
}

void Binder::detach() {
  if (!attached_) return;
  attached_ = false;
  model_.removeListener(listener_);
  // Runs that go on after the window is gone get their messages answered at once.
  model_.setMessageHandler(nullptr);
}

void Binder::message(const std::string& text, const std::string& caption, MessageIcon icon) {
  fe_.messageBox(text, caption, icon);
}

void Binder::applyTexts() {
  for (const WindowDesc* w : windows_)
    for (const ElementDesc& e : w->elements)
      if (e.text.key) fe_.setText(e.name, display(model_.lang(*e.text.key)) + e.text.suffix);
}

void Binder::applyRow(int row, const RowState& s) {
  if (row < 0 || row >= DEVICE_COUNT) return;
  const std::string status = rowCellName(RowCell::Status, row);
  const std::string text = display(s.text);
  fe_.setText(status, text);
  fe_.setToolTip(status, text);  // the whole text where the cell cuts it
  fe_.setColour(status, s.colour);
  const std::string bar = rowCellName(RowCell::Bar, row);
  fe_.setValue(bar, s.progress);
  fe_.setVisible(bar, s.progressVisible);
  const std::string picture = rowCellName(RowCell::Picture, row);
  PictureRef ref;
  if (s.picture) ref.file = miscPath(*s.picture == StatusPicture::Success ? "success.bmp" : "fail.bmp");
  fe_.setPicture(picture, ref);
  fe_.setVisible(picture, s.pictureVisible);
  // Without a known port the drive letter tells which player the row is for.
  std::string port = display(s.port);
  if (port.empty() && deps_.driveInPortCell)
    for (int slot = 0; slot < DEVICE_COUNT; ++slot)
      if (model_.rows().rowOfSlot(slot) == row)
        if (const char drive = model_.rows().slotDriveLetter(slot)) port = std::string(1, drive) + ":";
  fe_.setText(rowCellName(RowCell::Port, row), port);
  fe_.setText(rowCellName(RowCell::Spare, row), display(s.spare));
}

void Binder::applyCounters(const Counters& c) {
  fe_.setText("TotalStr", std::to_string(c.total));
  fe_.setText("SuccessStr", std::to_string(c.success));
  fe_.setText("FailStr", std::to_string(c.fail));
}

void Binder::applySettingsPage(const Settings& s, const std::string& edit5) {
  fe_.setText("Edit1", s.frameWidth);
  fe_.setText("Edit2", pathToUtf8(s.startupFolder));
  fe_.setText("Edit4", pathToUtf8(s.shutdownFolder));
  fe_.setText("Edit5", edit5);
  fe_.setText("Edit6", s.frameHeight);
  fe_.setValue("ComboBox1", s.fmSelection);
  fe_.setValue("ComboBox3", s.playerLanguage);
  fe_.setValue("TrackBar1", s.contrast);
}

void Binder::applyPageState(const SettingPageState& s) {
  fe_.setText("Edit9", pathToUtf8(s.chosenPackage));
  fe_.setEnabled("Button2", s.startupPreview);
  fe_.setEnabled("Button5", s.shutdownPreview);
  fe_.setEnabled("Button6", s.applyEnabled);
}

void Binder::apply(const Change& change) {
  std::visit(
      tarn::Overloaded{
          [&](const RowChanged& c) { applyRow(c.row, c.state); },
          [&](const CountersChanged& c) { applyCounters(c.counters); },
          [&](const EnabledChanged& c) { fe_.setEnabled(enabledElementName(c.element), c.enabled); },
          [&](const CheckedChanged& c) { fe_.setChecked(checkName(c.check), c.checked); },
          [&](const ComboIndexChanged& c) { fe_.setValue("SystemAreaComBo", c.index); },
          [&](const LabelChanged& c) { fe_.setText("LabelEdit", labelToUtf8(c.text)); },
          [&](const CopyListChanged& c) {
            std::vector<std::string> items;
            for (const std::string& item : c.items) items.push_back(pathToUtf8(item));
            fe_.setItems("SelectFileList2", items, c.selection);
          },
          [&](const SystemAreaTextChanged& c) { fe_.setText("labSystemArea", display(c.text)); },
          [&](const CaptionChanged& c) { fe_.setText(mainWindowDesc().window().name, display(c.caption)); },
          [&](const TextsLoaded&) { applyTexts(); },
          [&](const SettingsPageChanged& c) { applySettingsPage(c.settings, c.edit5); },
          [&](const PageStateChanged& c) { applyPageState(c.state); },
          [&](const PageChanged& c) { fe_.setValue("PageControl", c.page); },
          [&](const MessageAsked&) {},  // shown by the message handler
          [&](const SlotsRebound&) {
            for (int i = 0; i < DEVICE_COUNT; ++i) applyRow(i, model_.rows().row(i));
          },
      },
      change);
}

void Binder::renderAll() {
  applyTexts();
  for (int i = 0; i < DEVICE_COUNT; ++i) applyRow(i, model_.rows().row(i));
  applyCounters(model_.rows().counters());
  for (int e = 0; e < kElementCount; ++e)
    fe_.setEnabled(enabledElementName(static_cast<Element>(e)), model_.controls().enabled(static_cast<Element>(e)));
  for (int i = 0; i < kCheckCount; ++i) fe_.setChecked(checkName(static_cast<Check>(i)), model_.controls().checked(static_cast<Check>(i)));
  fe_.setValue("SystemAreaComBo", model_.controls().comboIndex());
  fe_.setText("LabelEdit", labelToUtf8(model_.controls().labelText()));
  fe_.setText("labSystemArea", display(model_.controls().systemAreaText()));
  fe_.setText(mainWindowDesc().window().name, display(model_.controls().caption()));
  applySettingsPage(model_.controls().settings(), model_.controls().edit5());
  applyPageState(model_.controls().settingPageState());
}

void Binder::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    message(e.what(), display(model_.controls().appTitle()), MessageIcon::Error);
  } catch (...) {
    message("Unknown error", display(model_.controls().appTitle()), MessageIcon::Error);
  }
}

void Binder::dispatch(const std::string& name, const std::function<void(Handler)>& run) {
  for (const WindowDesc* w : windows_) {
    if (const ElementDesc* e = w->find(name)) {
      if (e->handler != Handler::None) guarded([&] { run(e->handler); });
      return;
    }
  }
}

void Binder::clicked(const std::string& name) {
  dispatch(name, [&](Handler h) {
    auto onPage = [&](void (SettingPage::*click)()) {
      if (page_) (page_.get()->*click)();
    };
    auto call = [](const std::function<void()>& f) {
      if (f) f();
    };
    switch (h) {
      case Handler::AddFilesBtnClick:
        AddFilesBtnClick(model_, [this](const std::string& title) { return fe_.chooseFiles(display(title)); });
        break;
      case Handler::RemoveBtnClick: RemoveBtnClick(model_); break;
      case Handler::UpgradebtnClick: UpgradebtnClick(model_); break;
      case Handler::Button1Click: onPage(&SettingPage::Button1Click); break;
      case Handler::Button4Click: onPage(&SettingPage::Button4Click); break;
      case Handler::btnSelectPreferClick: onPage(&SettingPage::btnSelectPreferClick); break;
      case Handler::Button6Click: onPage(&SettingPage::Button6Click); break;
      case Handler::Button8Click: onPage(&SettingPage::Button8Click); break;
      case Handler::Button2Click: call(deps_.previewStartup); break;
      case Handler::Button5Click: call(deps_.previewShutdown); break;
      default: break;
    }
  });
}

void Binder::toggled(const std::string& name, bool checked) {
  dispatch(name, [&](Handler h) {
    if (h != Handler::CheckBoxClick) return;
    for (int i = 0; i < kCheckCount; ++i) {
      const Check check = static_cast<Check>(i);
      if (name != checkName(check)) continue;
      model_.controls().setChecked(check, checked);
      switch (check) {
        case Check::CheckManuupgrade: CheckManuupgradeClick(model_); break;
        case Check::chkBarFixed: chkBarFixedClick(model_); break;
        case Check::SystemAreachk: SystemAreachkClick(model_); break;
        default: break;
      }
    }
  });
}

void Binder::chosen(const std::string& name, int index) {
  dispatch(name, [&](Handler h) {
    switch (h) {
      case Handler::SystemAreaComBoChange:
        model_.controls().setComboIndexValue(index);
        SystemAreaComBoChange(model_);
        break;
      case Handler::ComboBox1Change: if (page_) page_->ComboBox1Change(index); break;
      case Handler::ComboBox3Change: if (page_) page_->ComboBox3Change(index); break;
      case Handler::TrackBar1Change: if (page_) page_->TrackBar1Change(index); break;
      default: break;
    }
  });
}

void Binder::edited(const std::string& name, const std::string& text) {
  dispatch(name, [&](Handler h) {
    if (h != Handler::LabelEditChange) return;
    // A text the volume cannot take is refused: the edit shows the label as it was.
    const std::optional<std::string> label = labelFromUtf8(text);
    model_.controls().setLabelText(label ? *label : model_.controls().labelText(), false);
  });
}

void Binder::selected(const std::string& name, std::vector<int> selection) {
  dispatch(name, [&](Handler h) {
    if (h == Handler::SelectFileList2Select) model_.files().setSelection(std::move(selection));
  });
}

void Binder::shown() {
  guarded([&] { FormShow(model_, deps_.hooks); });
}

bool Binder::closing() {
  bool closed = false;
  guarded([&] { closed = FormClose(model_, deps_.hooks); });
  return closed;
}

}  // namespace station

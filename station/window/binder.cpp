#include "station/window/binder.h"

#include <exception>
#include <variant>

#include "base/ascii.h"
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

namespace {

template <class Record>
const Record* as(const Change& change) {
  return std::get_if<Record>(&change);
}

}  // namespace

void Binder::show(const ElementDesc& e, const Change& change) {
  const std::string& n = e.name;
  const RowChanged* row = as<RowChanged>(change);
  const RowState* r = row && row->row == e.row ? &row->state : nullptr;
  const CountersChanged* counters = as<CountersChanged>(change);
  const SettingsPageChanged* page = as<SettingsPageChanged>(change);
  switch (e.shows) {
    case Shows::Nothing:
    case Shows::PreviewFrame:  // the preview window's own
      return;
    case Shows::Caption:
      if (auto* c = as<CaptionChanged>(change)) fe_.setText(n, display(c->caption));
      return;
    case Shows::ActivePage:
      if (auto* c = as<PageChanged>(change)) fe_.setValue(n, c->page);
      return;
    case Shows::Checked:
      if (auto* c = as<CheckedChanged>(change); c && e.check == c->check) fe_.setChecked(n, c->checked);
      return;
    case Shows::SystemAreaIndex:
      if (auto* c = as<ComboIndexChanged>(change)) fe_.setValue(n, c->index);
      return;
    case Shows::SystemAreaText:
      if (auto* c = as<SystemAreaTextChanged>(change)) fe_.setText(n, display(c->text));
      return;
    case Shows::VolumeLabel:
      if (auto* c = as<LabelChanged>(change)) fe_.setText(n, labelToUtf8(c->text));
      return;
    case Shows::CopyList:
      if (auto* c = as<CopyListChanged>(change)) {
        std::vector<std::string> items;
        for (const std::string& item : c->items) items.push_back(pathToUtf8(item));
        fe_.setItems(n, items, c->selection);
      }
      return;
    case Shows::RowStatus:
      if (r) {
        const std::string text = display(r->text);
        fe_.setText(n, text);
        fe_.setToolTip(n, text);  // the whole text where the cell cuts it
        fe_.setColour(n, r->colour);
      }
      return;
    case Shows::RowProgress:
      if (r) {
        fe_.setValue(n, r->progress);
        fe_.setVisible(n, r->progressVisible);
      }
      return;
    case Shows::RowPicture:
      if (r) {
        PictureRef ref;
        if (r->picture) ref.file = miscPath(*r->picture == StatusPicture::Success ? "success.bmp" : "fail.bmp");
        fe_.setPicture(n, ref);
        fe_.setVisible(n, r->pictureVisible);
      }
      return;
    case Shows::RowPort:
      if (r) fe_.setText(n, portCellText(e.row, *r));
      return;
    case Shows::RowSpare:
      if (r) fe_.setText(n, display(r->spare));
      return;
    case Shows::Total:
      if (counters) fe_.setText(n, std::to_string(counters->counters.total));
      return;
    case Shows::Success:
      if (counters) fe_.setText(n, std::to_string(counters->counters.success));
      return;
    case Shows::Fail:
      if (counters) fe_.setText(n, std::to_string(counters->counters.fail));
      return;
    case Shows::FrameWidth:
      if (page) fe_.setText(n, page->settings.frameWidth);
      return;
    case Shows::StartupFolder:
      if (page) fe_.setText(n, pathToUtf8(page->settings.startupFolder));
      return;
    case Shows::ShutdownFolder:
      if (page) fe_.setText(n, pathToUtf8(page->settings.shutdownFolder));
      return;
    case Shows::ContrastText:
      if (page) fe_.setText(n, page->edit5);
      return;
    case Shows::FrameHeight:
      if (page) fe_.setText(n, page->settings.frameHeight);
      return;
    case Shows::FmSelection:
      if (page) fe_.setValue(n, page->settings.fmSelection);
      return;
    case Shows::PlayerLanguage:
      if (page) fe_.setValue(n, page->settings.playerLanguage);
      return;
    case Shows::Contrast:
      if (page) fe_.setValue(n, page->settings.contrast);
      return;
    case Shows::ChosenPackage:
      if (auto* c = as<PageStateChanged>(change)) fe_.setText(n, pathToUtf8(c->state.chosenPackage));
      return;
  }
}

void Binder::follow(const ElementDesc& e, const Change& change) {
  if (e.enabledBy == EnabledBy::Model) {
    if (auto* c = as<EnabledChanged>(change); c && c->element == e.enabler) fe_.setEnabled(e.name, c->enabled);
    return;
  }
  const PageStateChanged* c = as<PageStateChanged>(change);
  if (!c) return;
  switch (e.enabledBy) {
    case EnabledBy::StartupPreview: fe_.setEnabled(e.name, c->state.startupPreview); break;
    case EnabledBy::ShutdownPreview: fe_.setEnabled(e.name, c->state.shutdownPreview); break;
    case EnabledBy::Apply: fe_.setEnabled(e.name, c->state.applyEnabled); break;
    default: break;
  }
}

std::string Binder::portCellText(int row, const RowState& state) const {
  // Without a known port the drive letter tells which player the row is for.
  std::string port = display(state.port);
  if (port.empty() && deps_.driveInPortCell)
    for (int slot = 0; slot < DEVICE_COUNT; ++slot)
      if (model_.rows().rowOfSlot(slot) == row)
        if (const char drive = model_.rows().slotDriveLetter(slot)) port = std::string(1, drive) + ":";
  return port;
}

void Binder::apply(const Change& change) {
  if (std::holds_alternative<TextsLoaded>(change)) return applyTexts();
  if (std::holds_alternative<SlotsRebound>(change)) {
    for (int i = 0; i < DEVICE_COUNT; ++i) apply(RowChanged{-1, i, model_.rows().row(i)});
    return;
  }
  // Each element takes from the record what it shows and what its enabled state follows.
  for (const WindowDesc* w : windows_)
    for (const ElementDesc& e : w->elements) {
      show(e, change);
      follow(e, change);
    }
}

std::vector<Change> Binder::modelState() const {
  std::vector<Change> state;
  for (int i = 0; i < DEVICE_COUNT; ++i) state.push_back(RowChanged{-1, i, model_.rows().row(i)});
  state.push_back(CountersChanged{model_.rows().counters()});
  for (int i = 0; i < kElementCount; ++i) {
    const Element e = static_cast<Element>(i);
    state.push_back(EnabledChanged{e, model_.controls().enabled(e)});
  }
  for (int i = 0; i < kCheckCount; ++i) {
    const Check c = static_cast<Check>(i);
    state.push_back(CheckedChanged{c, model_.controls().checked(c)});
  }
  state.push_back(ComboIndexChanged{model_.controls().comboIndex()});
  state.push_back(LabelChanged{model_.controls().labelText()});
  state.push_back(CopyListChanged{model_.files().copyList(), model_.files().selection()});
  state.push_back(SystemAreaTextChanged{model_.controls().systemAreaText()});
  state.push_back(CaptionChanged{model_.controls().caption(), model_.controls().appTitle()});
  state.push_back(SettingsPageChanged{model_.controls().settings(), model_.controls().edit5()});
  state.push_back(PageStateChanged{model_.controls().settingPageState()});
  state.push_back(PageChanged{model_.controls().activePage()});
  return state;
}

void Binder::renderAll() {
  applyTexts();
  for (const Change& change : modelState()) apply(change);
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

const ElementDesc* Binder::find(const std::string& name) const {
  for (const WindowDesc* w : windows_)
    if (const ElementDesc* e = w->find(name)) return e;
  return nullptr;
}

void Binder::input(const std::string& name, const Input& in) {
  const ElementDesc* e = find(name);
  if (!e || e->handler == Handler::None) return;
  guarded([&] { handle(*e, in); });
}

void Binder::handle(const ElementDesc& e, const Input& in) {
  // Each handler takes one kind of input; any other kind does nothing.
  const bool click = std::holds_alternative<Click>(in);
  const bool* ticked = std::get_if<bool>(&in);
  const int* index = std::get_if<int>(&in);
  auto onPage = [&](auto&& call) {
    if (page_) call(*page_);
  };
  auto run = [](const std::function<void()>& f) {
    if (f) f();
  };
  switch (e.handler) {
    case Handler::None: break;
    case Handler::ToggleOption:
      if (ticked && e.check) clickBox(model_, *e.check, *ticked);
      break;
    case Handler::ChooseSystemAreaSize:
      if (index) {
        model_.controls().setComboIndexValue(*index);
        SystemAreaComBoChange(model_);
      }
      break;
    case Handler::EditLabel:
      if (auto* text = std::get_if<std::string>(&in)) {
        // A text the volume cannot take is refused: the edit shows the label as it was.
        const std::optional<std::string> label = labelFromUtf8(*text);
        model_.controls().setLabelText(label ? *label : model_.controls().labelText(), false);
      }
      break;
    case Handler::SelectCopyItems:
      if (auto* selection = std::get_if<std::vector<int>>(&in)) model_.files().setSelection(*selection);
      break;
    case Handler::AddFiles:
      if (click)
        AddFilesBtnClick(model_, [this](const std::string& title) { return fe_.chooseFiles(display(title)); });
      break;
    case Handler::RemoveFiles: if (click) RemoveBtnClick(model_); break;
    case Handler::StartUpgrade: if (click) UpgradebtnClick(model_); break;
    case Handler::ChooseStartupFolder: if (click) onPage([](SettingPage& p) { p.chooseStartupFolder(); }); break;
    case Handler::ChooseShutdownFolder: if (click) onPage([](SettingPage& p) { p.chooseShutdownFolder(); }); break;
    case Handler::ChoosePackage: if (click) onPage([](SettingPage& p) { p.choosePackage(); }); break;
    case Handler::ApplyPackage: if (click) onPage([](SettingPage& p) { p.apply(); }); break;
    case Handler::CancelSettings: if (click) onPage([](SettingPage& p) { p.cancel(); }); break;
    case Handler::PreviewStartup: if (click) run(deps_.previewStartup); break;
    case Handler::PreviewShutdown: if (click) run(deps_.previewShutdown); break;
    case Handler::ChooseFm: if (index) onPage([&](SettingPage& p) { p.setFm(*index); }); break;
    case Handler::ChoosePlayerLanguage: if (index) onPage([&](SettingPage& p) { p.setPlayerLanguage(*index); }); break;
    case Handler::ChooseContrast: if (index) onPage([&](SettingPage& p) { p.setContrast(*index); }); break;
    case Handler::Play:
    case Handler::Stop:
      break;  // the preview window's own
  }
}

void Binder::clicked(const std::string& name) { input(name, Click{}); }
void Binder::toggled(const std::string& name, bool checked) { input(name, checked); }
void Binder::chosen(const std::string& name, int index) { input(name, index); }
void Binder::edited(const std::string& name, const std::string& text) { input(name, text); }
void Binder::selected(const std::string& name, std::vector<int> selection) { input(name, std::move(selection)); }

void Binder::shown() {
  guarded([&] { FormShow(model_, deps_.hooks); });
}

bool Binder::closing() {
  bool closed = false;
  guarded([&] { closed = FormClose(model_, deps_.hooks); });
  return closed;
}

}  // namespace station

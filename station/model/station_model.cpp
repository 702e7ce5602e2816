#include "station/model/station_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "base/ascii.h"
#include "platform/program_folder.h"
#include "platform/system_language.h"
#include "station/ops/device_tool.h"

namespace station {

namespace {

std::string folderOr(const std::string& given) {
  return given.empty() ? platform::programFolder() : given;
}

}  // namespace

StationModel::StationModel(ModelOptions options)
    : options_([&] {
        options.programFolder = folderOr(options.programFolder);
        if (options.portLogPath.empty()) options.portLogPath = portLogPath(options.programFolder);
        return options;
      }()),
      lang_(options_.languages ? options_.languages : &languageTable()),
      langId_(options_.langId ? options_.langId : platform::systemDefaultLangId()),
      portLog_(options_.portLogPath),
      windowThread_(std::this_thread::get_id()),
      settings_(windowDefinedSettings()) {
  enabled_.fill(true);
  enabled_[static_cast<int>(Element::chkEraseAll)] = false;
  enabled_[static_cast<int>(Element::tabSetting)] = false;
  // Their boxes start unticked, and each is enabled only with its box.
  enabled_[static_cast<int>(Element::Upgradebtn)] = false;
  enabled_[static_cast<int>(Element::SystemAreaComBo)] = false;
  for (int i = 0; i < DEVICE_COUNT; ++i) binding_[i] = i;
  for (RowState& r : rows_) r.text = lang_->text(LangText::WaitDeviceMsg);
}

StationModel::~StationModel() = default;

// --- front end ---

int StationModel::addListener(Listener listener) {
  Lock lock(mu_);
  listeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

void StationModel::removeListener(int id) {
  Lock lock(mu_);
  std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void StationModel::setMessageHandler(MessageHandler handler) {
  Lock lock(mu_);
  messageHandler_ = std::move(handler);
}

void StationModel::setWindowThread(std::thread::id id) {
  Lock lock(mu_);
  windowThread_ = id;
}

void StationModel::setPumpHook(std::function<void()> pump) {
  Lock lock(mu_);
  pumpHook_ = std::move(pump);
}

bool StationModel::onWindowThread() const {
  Lock lock(mu_);
  return std::this_thread::get_id() == windowThread_;
}

void StationModel::setRunStarter(RunStarter starter) {
  Lock lock(mu_);
  runStarter_ = std::move(starter);
}

std::string StationModel::display(const std::string& bytes) const {
  return platform::toUtf8(bytes, langCodePage(lang_->langId()));
}

void StationModel::publish(const Change& change) {
  for (auto& [id, listener] : listeners_) listener(change);
}

void StationModel::emitRow(int slot) {
  publish(RowChanged{slot, binding_[slot], rows_[binding_[slot]]});
}

void StationModel::emitCounters() {
  publish(CountersChanged{counters_});
}

void StationModel::emitEnabled(Element element) {
  publish(EnabledChanged{element, enabled_[static_cast<int>(element)]});
}

void StationModel::emitChecked(Check check) {
  publish(CheckedChanged{check, checkValue(check)});
}

void StationModel::emitCopyList() {
  publish(CopyListChanged{copyList_, selection_});
}

bool& StationModel::checkRef(Check check) {
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

bool StationModel::checkValue(Check check) const {
  return const_cast<StationModel*>(this)->checkRef(check);
}

template <class F>
void StationModel::changeRow(int slot, F&& f) {
  if (!validSlot(slot)) return;
  Lock lock(mu_);
  f(rowOf(slot));
  emitRow(slot);
}

// --- snapshots ---

RowState StationModel::row(int r) const {
  Lock lock(mu_);
  return validSlot(r) ? rows_[r] : RowState{};
}

RowState StationModel::slotRow(int slot) const {
  Lock lock(mu_);
  return validSlot(slot) ? rowOf(slot) : RowState{};
}

int StationModel::rowOfSlot(int slot) const {
  Lock lock(mu_);
  return validSlot(slot) ? binding_[slot] : -1;
}

Counters StationModel::counters() const {
  Lock lock(mu_);
  return counters_;
}

bool StationModel::enabled(Element element) const {
  Lock lock(mu_);
  return enabled_[static_cast<int>(element)];
}

bool StationModel::checked(Check check) const {
  Lock lock(mu_);
  return checkValue(check);
}

int StationModel::comboIndex() const {
  Lock lock(mu_);
  return settings_.SystemAreaComBo;
}

std::vector<int> StationModel::selection() const {
  Lock lock(mu_);
  return selection_;
}

std::string StationModel::systemAreaText() const {
  Lock lock(mu_);
  return systemAreaText_;
}

std::string StationModel::caption() const {
  Lock lock(mu_);
  return caption_;
}

std::string StationModel::appTitle() const {
  Lock lock(mu_);
  return appTitle_;
}

int StationModel::activePage() const {
  Lock lock(mu_);
  return activePage_;
}

std::string StationModel::edit5() const {
  Lock lock(mu_);
  return edit5_;
}

Settings StationModel::settings() const {
  Lock lock(mu_);
  return settings_;
}

bool StationModel::runMarked(int slot) const {
  Lock lock(mu_);
  return validSlot(slot) && runMark_[slot];
}

// --- operator input ---

bool StationModel::setChecked(Check check, bool value) {
  Lock lock(mu_);
  bool& box = checkRef(check);
  if (box == value) return false;
  box = value;
  emitChecked(check);
  return true;
}

void StationModel::setEnabled(Element element, bool value) {
  Lock lock(mu_);
  if (enabled_[static_cast<int>(element)] == value) return;
  enabled_[static_cast<int>(element)] = value;
  emitEnabled(element);
}

void StationModel::setComboIndexValue(int index) {
  Lock lock(mu_);
  settings_.SystemAreaComBo = (index >= 0 && index < 16) ? index : -1;
  publish(ComboIndexChanged{settings_.SystemAreaComBo});
}

void StationModel::setLabelText(const std::string& text, bool typed) {
  std::string label = text;
  if (typed) {
    label.resize(std::min<size_t>(label.size(), 11));
    for (char& ch : label) ch = tarn::asciiUpper(ch);
  }
  Lock lock(mu_);
  settings_.LabelEdit = label;
  publish(LabelChanged{label});
}

void StationModel::setCopyList(std::vector<std::string> items) {
  Lock lock(mu_);
  copyList_ = std::move(items);
  selection_.clear();
  emitCopyList();
}

void StationModel::appendCopyItems(const std::vector<std::string>& items) {
  Lock lock(mu_);
  copyList_.insert(copyList_.end(), items.begin(), items.end());
  emitCopyList();
}

void StationModel::setSelection(std::vector<int> selection) {
  Lock lock(mu_);
  std::sort(selection.begin(), selection.end());
  selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
  std::erase_if(selection, [&](int i) { return i < 0 || i >= static_cast<int>(copyList_.size()); });
  selection_ = std::move(selection);
  emitCopyList();
}

void StationModel::removeSelectedItems() {
  Lock lock(mu_);
  for (auto it = selection_.rbegin(); it != selection_.rend(); ++it)
    copyList_.erase(copyList_.begin() + *it);
  selection_.clear();
  emitCopyList();
}

void StationModel::setSdkBondingId(int id) {
  Lock lock(mu_);
  sdkBondingId_ = id & 0xFF;
}

void StationModel::setCaption(const std::string& caption, const std::string& title) {
  Lock lock(mu_);
  caption_ = caption;
  appTitle_ = title;
  publish(CaptionChanged{caption, title});
}

void StationModel::setActivePage(int page) {
  Lock lock(mu_);
  activePage_ = page;
  publish(PageChanged{page});
}

void StationModel::setEdit5(const std::string& text) {
  Lock lock(mu_);
  edit5_ = text;
  publish(SettingsPageChanged{settings_, edit5_});
}

void StationModel::setSettingsPageValues(const Settings& v) {
  Lock lock(mu_);
  settings_.startupFolder = v.startupFolder;
  settings_.shutdownFolder = v.shutdownFolder;
  settings_.fmSelection = v.fmSelection;
  // The track bar shows its position in Edit5 whenever it moves.
  if (settings_.contrast != v.contrast) edit5_ = std::to_string(v.contrast);
  settings_.contrast = v.contrast;
  settings_.playerLanguage = v.playerLanguage;
  settings_.frameWidth = v.frameWidth;
  settings_.frameHeight = v.frameHeight;
  publish(SettingsPageChanged{settings_, edit5_});
}

SettingPageState StationModel::settingPageState() const {
  Lock lock(mu_);
  return pageState_;
}

void StationModel::setSettingPageState(const SettingPageState& state) {
  Lock lock(mu_);
  pageState_ = state;
  publish(PageStateChanged{state});
}

void StationModel::textsLoaded() {
  Lock lock(mu_);
  publish(TextsLoaded{});
}

void StationModel::bindSlotsToRows() {
  Lock lock(mu_);
  for (int i = 0; i < DEVICE_COUNT; ++i) binding_[i] = i;
  publish(SlotsRebound{});
}

void StationModel::freeAllSlots() {
  Lock lock(mu_);
  drive_.fill(0);
  runMark_.fill(false);
}

void StationModel::setAllStatusTexts(const std::string& text) {
  Lock lock(mu_);
  for (int r = 0; r < DEVICE_COUNT; ++r) {
    rows_[r].text = text;
    publish(RowChanged{r, r, rows_[r]});
  }
}

// --- slot table ---

int StationModel::findSlot(char drive) const {
  Lock lock(mu_);
  for (int i = 0; i < DEVICE_COUNT; ++i)
    if (drive != 0 && drive_[i] == drive) return i;
  return -1;
}

int StationModel::occupySlot(char drive) {
  Lock lock(mu_);
  for (int i = 0; i < DEVICE_COUNT; ++i) {
    if (drive_[i] != 0) continue;
    drive_[i] = drive;
    runMark_[i] = false;
    rowOf(i).progressVisible = true;
    emitRow(i);
    return i;
  }
  return -1;
}

void StationModel::registerSlot(int slot, const std::string& text) {
  changeRow(slot, [&](RowState& r) { r.text = text; });
}

void StationModel::slotTaken() {
  Lock lock(mu_);
  for (Element e : {Element::chkBarFixed, Element::CheckManuupgrade}) {
    enabled_[static_cast<int>(e)] = false;
    emitEnabled(e);
  }
  ++counters_.occupied;
  emitCounters();
}

bool StationModel::releaseDrive(char drive) {
  Lock lock(mu_);
  int slot = -1;
  for (int i = 0; i < DEVICE_COUNT && slot < 0; ++i)
    if (drive != 0 && drive_[i] == drive) slot = i;
  if (slot < 0) return false;
  RowState& r = rowOf(slot);
  r.colour = TextColour::WindowText;
  r.progressVisible = false;
  r.progress = 0;
  r.pictureVisible = false;
  r.port.clear();
  r.spare.clear();
  r.text = lang_->text(LangText::WaitDeviceMsg);
  emitRow(slot);
  const std::string& waiting = lang_->text(LangText::WaitDeviceMsg);
  if (std::all_of(rows_.begin(), rows_.end(), [&](const RowState& s) { return s.text == waiting; })) {
    for (Element e : {Element::chkBarFixed, Element::CheckManuupgrade}) {
      enabled_[static_cast<int>(e)] = true;
      emitEnabled(e);
    }
  }
  for (int i = 0; i < DEVICE_COUNT; ++i) {
    if (drive_[i] != drive) continue;
    drive_[i] = 0;
    runMark_[i] = false;
  }
  --counters_.occupied;
  emitCounters();
  if (counters_.occupied == 0) {
    for (int i = 0; i < DEVICE_COUNT; ++i) {
      rows_[i].pictureVisible = false;
      rows_[i].spare.clear();
      publish(RowChanged{i, i, rows_[i]});
    }
  }
  return true;
}

bool StationModel::markRunStarted(int slot) {
  Lock lock(mu_);
  if (!validSlot(slot) || drive_[slot] == 0 || runMark_[slot]) return false;
  runMark_[slot] = true;
  return true;
}

std::optional<char> StationModel::registeredDrive(int slot, const std::string& registeredText) {
  Lock lock(mu_);
  if (!validSlot(slot) || drive_[slot] == 0 || runMark_[slot]) return std::nullopt;
  if (rowOf(slot).text != registeredText) return std::nullopt;
  runMark_[slot] = true;
  return drive_[slot];
}

void StationModel::startRun(char drive) {
  RunStarter starter;
  {
    Lock lock(mu_);
    starter = runStarter_;
  }
  if (starter) starter(drive);
}

void StationModel::setInstanceLock(std::unique_ptr<platform::InstanceLock> lock) {
  Lock l(mu_);
  instanceLock_ = std::move(lock);
}

bool StationModel::releaseInstanceLock() {
  std::unique_ptr<platform::InstanceLock> lock;
  {
    Lock l(mu_);
    lock = std::move(instanceLock_);
  }
  if (!lock) return false;
  lock->release();
  return true;
}

bool StationModel::instanceLockHeld() const {
  Lock l(mu_);
  return instanceLock_ && instanceLock_->held();
}

// --- StationView / ProductionView ---

char StationModel::slotDriveLetter(int slot) const {
  Lock lock(mu_);
  return validSlot(slot) ? drive_[slot] : 0;
}

void StationModel::setStatusText(int slot, const std::string& text, TextColour colour) {
  changeRow(slot, [&](RowState& r) {
    r.text = text;
    r.colour = colour;
  });
}

void StationModel::setStatusColour(int slot, TextColour colour) {
  changeRow(slot, [&](RowState& r) { r.colour = colour; });
}

void StationModel::setProgress(int slot, int position) {
  changeRow(slot, [&](RowState& r) { r.progress = std::clamp(position, 0, 100); });
}

void StationModel::setProgressVisible(int slot, bool visible) {
  changeRow(slot, [&](RowState& r) { r.progressVisible = visible; });
}

std::string StationModel::portCell(int slot) const {
  Lock lock(mu_);
  return validSlot(slot) ? rowOf(slot).port : std::string();
}

void StationModel::setPortCell(int slot, const std::string& text) {
  changeRow(slot, [&](RowState& r) { r.port = text; });
}

void StationModel::setSpareCell(int slot, const std::string& text) {
  changeRow(slot, [&](RowState& r) { r.spare = text; });
}

void StationModel::setSystemAreaText(const std::string& text) {
  Lock lock(mu_);
  systemAreaText_ = text;
  publish(SystemAreaTextChanged{text});
}

void StationModel::showMessage(const std::string& text, const std::string& caption,
                               MessageIcon icon) {
  ModalMessage message{text, caption, icon};
  MessageHandler handler;
  {
    Lock lock(mu_);
    publish(MessageAsked{message});
    handler = messageHandler_;
  }
  if (handler) handler(message);
}

bool StationModel::blankCheckTicked() const { return checked(Check::chkBlankCheck); }
bool StationModel::isoUpgradeTicked() const { return checked(Check::chkISOupgrade); }
bool StationModel::systemAreaFixed() const { return checked(Check::SystemAreachk); }
int StationModel::systemAreaComboIndex() const { return comboIndex(); }
void StationModel::setSystemAreaComboIndex(int index) { setComboIndexValue(index); }

std::string StationModel::labelText() const {
  Lock lock(mu_);
  return settings_.LabelEdit;
}

std::vector<std::string> StationModel::copyList() const {
  Lock lock(mu_);
  return copyList_;
}

std::string StationModel::text(LangText id) const { return lang_->text(id); }

void StationModel::pump() {
  std::function<void()> hook;
  {
    Lock lock(mu_);
    if (std::this_thread::get_id() != windowThread_) return;
    hook = pumpHook_;
  }
  if (hook) hook();
}

void StationModel::appendPortLog(const std::string& line) { portLog_.append(line); }

std::string StationModel::statusText(int slot) const {
  Lock lock(mu_);
  return validSlot(slot) ? rowOf(slot).text : std::string();
}

TextColour StationModel::statusColour(int slot) const {
  Lock lock(mu_);
  return validSlot(slot) ? rowOf(slot).colour : TextColour::WindowText;
}

void StationModel::showPicture(int slot, StatusPicture picture) {
  if (!validSlot(slot)) return;
  std::error_code ec;
  bool present = std::filesystem::is_regular_file(
      miscPath(picture == StatusPicture::Success ? "success.bmp" : "fail.bmp"), ec);
  Lock lock(mu_);
  if (!present || drive_[slot] == 0) return;
  rowOf(slot).picture = picture;
  rowOf(slot).pictureVisible = true;
  emitRow(slot);
}

void StationModel::hidePicture(int slot) {
  changeRow(slot, [&](RowState& r) { r.pictureVisible = false; });
}

void StationModel::runStarted() {
  Lock lock(mu_);
  ++counters_.running;
  emitCounters();
  for (Element e : {Element::grpFileList, Element::grpMPSetting}) {
    if (!enabled_[static_cast<int>(e)]) continue;
    enabled_[static_cast<int>(e)] = false;
    emitEnabled(e);
  }
}

void StationModel::runEnded(bool success) {
  Lock lock(mu_);
  if (--counters_.running <= 0) {
    counters_.running = 0;
    for (Element e : {Element::grpFileList, Element::grpMPSetting}) {
      enabled_[static_cast<int>(e)] = true;
      emitEnabled(e);
    }
  }
  ++counters_.total;
  if (success) ++counters_.success;
  counters_.fail = counters_.total - counters_.success;
  emitCounters();
}

void StationModel::resetRowIfReleased(int slot, char drive) {
  if (!validSlot(slot)) return;
  Lock lock(mu_);
  RowState& r = rowOf(slot);
  if (drive_[slot] == drive || r.colour != TextColour::Red) return;
  r.text = lang_->text(LangText::WaitDeviceMsg);
  r.colour = TextColour::WindowText;
  emitRow(slot);
}

bool StationModel::formatTicked() const { return checked(Check::chkFormat); }
bool StationModel::fwUpgradeTicked() const { return checked(Check::chkFwUpgrade); }
bool StationModel::parityCheckTicked() const { return checked(Check::chkParityCheck); }

int StationModel::sdkBondingId() const {
  Lock lock(mu_);
  return sdkBondingId_;
}

}  // namespace station

#include "station/model/station_model.h"

#include "platform/program_folder.h"
#include "platform/system_language.h"

namespace station {

namespace {

const char* const kCheckNames[kCheckCount] = {
    "chkFormat", "chkBlankCheck", "chkISOupgrade", "chkEraseAll", "CheckManuupgrade",
    "chkBarFixed", "chkFwUpgrade", "SystemAreachk", "chkParityCheck"};
const char* const kElementNames[kElementCount] = {
    "grpFileList", "grpMPSetting", "Upgradebtn", "SystemAreaComBo", "chkBarFixed",
    "CheckManuupgrade", "chkEraseAll", "tabSetting"};

std::string folderOr(const std::string& given) {
  return given.empty() ? platform::programFolder() : given;
}

}  // namespace

const char* checkName(Check check) { return kCheckNames[static_cast<int>(check)]; }
const char* elementName(Element element) { return kElementNames[static_cast<int>(element)]; }

// A run's reports onto the rows, the system area line, the messages and the port log.
class StationModel::Reporter : public RunReporter {
 public:
  explicit Reporter(StationModel& m) : m_(m) {}

  char slotDrive(int slot) const override { return m_.rows_.slotDriveLetter(slot); }
  void setStatus(int slot, const std::string& text, TextColour colour) override {
    m_.rows_.setStatusText(slot, text, colour);
  }
  void setStatusColour(int slot, TextColour colour) override { m_.rows_.setStatusColour(slot, colour); }
  void setProgress(int slot, int position) override { m_.rows_.setProgress(slot, position); }
  void setProgressVisible(int slot, bool visible) override {
    m_.rows_.setProgressVisible(slot, visible);
  }
  std::string portCell(int slot) const override { return m_.rows_.slotRow(slot).port; }
  void setPortCell(int slot, const std::string& text) override { m_.rows_.setPortCell(slot, text); }
  void setFlashName(int slot, const std::string& name) override { m_.rows_.setSpareCell(slot, name); }
  void showPicture(int slot, StatusPicture picture) override { m_.rows_.showPicture(slot, picture); }
  void hidePicture(int slot) override { m_.rows_.hidePicture(slot); }
  void runStarted() override { m_.rows_.runStarted(); }
  void runEnded(bool success) override { m_.rows_.runEnded(success); }
  void resetRowIfReleased(int slot, char drive) override { m_.rows_.resetRowIfReleased(slot, drive); }
  void setSystemAreaSize(const std::string& text) override { m_.controls_.setSystemAreaText(text); }
  void showMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    m_.showMessage(text, caption, icon);
  }
  void appendPortLog(const std::string& line) override { m_.appendPortLog(line); }
  std::string text(LangText id) const override { return m_.lang(id); }
  void pump() override { m_.pump(); }

 private:
  StationModel& m_;
};

// The settings controls as a run reads them, at the moment it reads them.
class StationModel::ReadSettings : public RunSettings {
 public:
  explicit ReadSettings(StationModel& m) : c_(m.controls_), files_(m.files_) {}

  bool format() const override { return c_.checked(Check::chkFormat); }
  std::string label() const override { return c_.labelText(); }
  bool firmwareUpgrade() const override { return c_.checked(Check::chkFwUpgrade); }
  bool isoUpgrade() const override { return c_.checked(Check::chkISOupgrade); }
  bool parityCheck() const override { return c_.checked(Check::chkParityCheck); }
  bool blankCheck() const override { return c_.checked(Check::chkBlankCheck); }
  bool systemAreaFixed() const override { return c_.checked(Check::SystemAreachk); }
  int systemAreaIndex() const override { return c_.comboIndex(); }
  void setSystemAreaIndex(int index) override { c_.setComboIndexValue(index); }
  int sdkBondingId() const override { return files_.sdkBondingId(); }
  std::vector<std::string> copyList() const override { return files_.copyList(); }

 private:
  SettingControls& c_;
  const CopyListModel& files_;
};

StationModel::StationModel(ModelOptions options)
    : options_([&] {
        options.programFolder = folderOr(options.programFolder);
        if (options.portLogPath.empty()) options.portLogPath = portLogPath(options.programFolder);
        return options;
      }()),
      lang_(options_.languages ? options_.languages : &languageTable()),
      langId_(options_.langId ? options_.langId : platform::systemDefaultLangId()),
      portLog_(options_.portLogPath),
      controls_(core_),
      files_(core_),
      rows_(core_, controls_, *lang_),
      reporter_(std::make_unique<Reporter>(*this)),
      runSettings_(std::make_unique<ReadSettings>(*this)),
      windowThread_(std::this_thread::get_id()) {}

StationModel::~StationModel() = default;

RunReporter& StationModel::reporter() { return *reporter_; }
RunSettings& StationModel::runSettings() { return *runSettings_; }

void StationModel::setMessageHandler(MessageHandler handler) {
  auto held = core_.lock();
  messageHandler_ = std::move(handler);
}

void StationModel::setWindowThread(std::thread::id id) {
  auto held = core_.lock();
  windowThread_ = id;
}

void StationModel::setPumpHook(std::function<void()> pump) {
  auto held = core_.lock();
  pumpHook_ = std::move(pump);
}

bool StationModel::onWindowThread() const {
  auto held = core_.lock();
  return std::this_thread::get_id() == windowThread_;
}

void StationModel::setRunStarter(RunStarter starter) {
  auto held = core_.lock();
  runStarter_ = std::move(starter);
}

void StationModel::startRun(char drive) {
  RunStarter starter;
  {
    auto held = core_.lock();
    starter = runStarter_;
  }
  if (starter) starter(drive);
}

void StationModel::showMessage(const std::string& text, const std::string& caption,
                               MessageIcon icon) {
  ModalMessage message{text, caption, icon};
  MessageHandler handler;
  {
    auto held = core_.lock();
    core_.publish(MessageAsked{message});
    handler = messageHandler_;
  }
  if (handler) handler(message);
}

void StationModel::pump() {
  std::function<void()> hook;
  {
    auto held = core_.lock();
    if (std::this_thread::get_id() != windowThread_) return;
    hook = pumpHook_;
  }
  if (hook) hook();
}

std::string StationModel::display(const std::string& bytes) const {
  return platform::toUtf8(bytes, langCodePage(lang_->langId()));
}

void StationModel::setInstanceLock(std::unique_ptr<platform::InstanceLock> lock) {
  auto held = core_.lock();
  instanceLock_ = std::move(lock);
}

bool StationModel::releaseInstanceLock() {
  std::unique_ptr<platform::InstanceLock> lock;
  {
    auto held = core_.lock();
    lock = std::move(instanceLock_);
  }
  if (!lock) return false;
  lock->release();
  return true;
}

bool StationModel::instanceLockHeld() const {
  auto held = core_.lock();
  return instanceLock_ && instanceLock_->held();
}

}  // namespace station

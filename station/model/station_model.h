// The main window as a thread-safe model: the slot table, the eight rows, the counters,
// the settings controls, the copy list, the enabled states, labSystemArea, the caption and
// the modal messages. Production workers, the arrival handling and the tests talk to it;
// a front end (the Qt window or the headless printer) renders its change records.
//
// Every change is one step under the model's lock and produces one change record; the
// listeners receive the records under that lock, so they see them in the order the changes
// were made. Listeners must not call back into the model; they copy or forward the record.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "platform/single_instance.h"
#include "station/engine/production_view.h"
#include "station/settings/prefer_package_page.h"
#include "station/settings/settings.h"
#include "station/texts/lang.h"
#include "station/portlog/port_log.h"

namespace station {

// Check boxes of the settings group.
enum class Check {
  chkFormat, chkBlankCheck, chkISOupgrade, chkEraseAll, CheckManuupgrade, chkBarFixed,
  chkFwUpgrade, SystemAreachk, chkParityCheck,
};
inline constexpr int kCheckCount = 9;

// Elements whose enabled state changes (or is fixed off).
enum class Element {
  grpFileList, grpMPSetting, Upgradebtn, SystemAreaComBo, chkBarFixed, CheckManuupgrade,
  chkEraseAll, tabSetting,
};
inline constexpr int kElementCount = 8;

struct RowState {
  std::string text;  // the language table's bytes with ASCII suffixes
  TextColour colour = TextColour::WindowText;
  int progress = 0;
  bool progressVisible = false;
  std::optional<StatusPicture> picture;  // the picture loaded into the control
  bool pictureVisible = false;
  std::string port;   // TextPn
  std::string spare;  // TextFn
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

struct ModelOptions {
  // The program's folder: made the current directory by FormShow; port log under misc/.
  std::string programFolder;
  std::string portLogPath;            // empty: <programFolder>/misc/port.log
  LanguageTable* languages = nullptr; // null: the process's table
  std::uint16_t langId = 0;           // 0: the system's language
};

class StationModel : public ProductionView {
 public:
  using Listener = std::function<void(const Change&)>;
  using MessageHandler = std::function<void(const ModalMessage&)>;
  using RunStarter = std::function<void(char drive)>;

  explicit StationModel(ModelOptions options = {});
  ~StationModel() override;

  // --- front end ---
  int addListener(Listener listener);
  void removeListener(int id);
  // Answers modal messages; called without the model's lock, the asker blocked until it
  // returns. Without a handler a message is answered at once.
  void setMessageHandler(MessageHandler handler);
  // The thread that runs the window's events (defaults to the creating thread) and what
  // "process pending messages" means there; workers' pump() calls do nothing.
  void setWindowThread(std::thread::id id);
  void setPumpHook(std::function<void()> pump);
  bool onWindowThread() const;
  // Starts a production run for a drive (the production worker in the program).
  void setRunStarter(RunStarter starter);

  const ModelOptions& options() const { return options_; }
  const LanguageTable& languages() const { return *lang_; }
  LanguageTable& mutableLanguages() { return *lang_; }
  std::uint16_t langId() const { return langId_; }
  // A language text's bytes, and bytes of the table's code page decoded for display.
  const std::string& lang(LangText id) const { return lang_->text(id); }
  std::string display(const std::string& bytes) const;
  PortLog& portLogFile() { return portLog_; }

  // --- snapshots ---
  RowState row(int row) const;
  RowState slotRow(int slot) const;
  int rowOfSlot(int slot) const;
  Counters counters() const;
  bool enabled(Element element) const;
  bool checked(Check check) const;
  int comboIndex() const;
  std::vector<int> selection() const;
  std::string systemAreaText() const;
  std::string caption() const;
  std::string appTitle() const;
  int activePage() const;
  std::string edit5() const;
  // The values of every settings control, as saved to prefer.ini.
  Settings settings() const;
  bool runMarked(int slot) const;
  SettingPageState settingPageState() const;

  // --- operator input and handlers' steps (window thread) ---
  // Sets the box without running its click handler; true when the state changed.
  bool setChecked(Check check, bool value);
  void setEnabled(Element element, bool value);
  void setComboIndexValue(int index);
  // LabelEdit as the operator types it: letters forced to upper case, at most 11
  // characters. A value put in by the program (the settings load) stands as it is.
  void setLabelText(const std::string& text, bool typed = true);
  void setCopyList(std::vector<std::string> items);
  void appendCopyItems(const std::vector<std::string>& items);
  void setSelection(std::vector<int> selection);
  // Removes the selected items walking from the last to the first.
  void removeSelectedItems();
  void setSdkBondingId(int id);
  void setCaption(const std::string& caption, const std::string& title);
  void setActivePage(int page);
  void setEdit5(const std::string& text);
  // The Setting page's values (not the check boxes, the combo or the label).
  void setSettingsPageValues(const Settings& values);
  void setSettingPageState(const SettingPageState& state);
  void textsLoaded();
  // Binds every entry i to row i + 1 (FormShow, chkBarFixedClick).
  void bindSlotsToRows();
  void freeAllSlots();
  void setAllStatusTexts(const std::string& text);

  // --- slot table (window thread) ---
  int findSlot(char drive) const;
  // The lowest free entry takes the drive and its row's progress bar is shown; -1 when
  // every slot is held.
  int occupySlot(char drive);
  // A registered row in manual upgrade mode: its status text, colour kept.
  void registerSlot(int slot, const std::string& text);
  // occupiedCount + 1, chkBarFixed and CheckManuupgrade disabled.
  void slotTaken();
  // The removal of `drive`, all in one step: the row back to waiting, the two boxes
  // enabled again when every row waits, the slot freed, occupiedCount - 1 and, at 0,
  // every picture hidden and spare cell emptied. False when no slot held it.
  bool releaseDrive(char drive);
  // Marks the slot's run as started (at most once until its device is removed): true
  // when the slot holds a drive and no run was started on it yet.
  bool markRunStarted(int slot);
  // Upgradebtn's test: the slot holds a drive, shows `registeredText` and has no run.
  std::optional<char> registeredDrive(int slot, const std::string& registeredText);
  // Starts a run for the slot's drive through the run starter.
  void startRun(char drive);

  // --- the single-instance lock, released by FormClose ---
  void setInstanceLock(std::unique_ptr<platform::InstanceLock> lock);
  bool releaseInstanceLock();
  bool instanceLockHeld() const;

  // --- StationView / ProductionView ---
  char slotDriveLetter(int slot) const override;
  void setStatusText(int slot, const std::string& text, TextColour colour) override;
  void setStatusColour(int slot, TextColour colour) override;
  void setProgress(int slot, int position) override;
  void setProgressVisible(int slot, bool visible) override;
  std::string portCell(int slot) const override;
  void setPortCell(int slot, const std::string& text) override;
  void setSpareCell(int slot, const std::string& text) override;
  void setSystemAreaText(const std::string& text) override;
  void showMessage(const std::string& text, const std::string& caption,
                   MessageIcon icon) override;
  bool blankCheckTicked() const override;
  bool isoUpgradeTicked() const override;
  bool systemAreaFixed() const override;
  int systemAreaComboIndex() const override;
  void setSystemAreaComboIndex(int index) override;
  std::string labelText() const override;
  std::vector<std::string> copyList() const override;
  std::string text(LangText id) const override;
  void pump() override;
  void appendPortLog(const std::string& line) override;
  std::string statusText(int slot) const override;
  TextColour statusColour(int slot) const override;
  void showPicture(int slot, StatusPicture picture) override;
  void hidePicture(int slot) override;
  void runStarted() override;
  void runEnded(bool success) override;
  void resetRowIfReleased(int slot, char drive) override;
  bool formatTicked() const override;
  bool fwUpgradeTicked() const override;
  bool parityCheckTicked() const override;
  int sdkBondingId() const override;

 private:
  using Lock = std::unique_lock<std::mutex>;
  static bool validSlot(int slot) { return slot >= 0 && slot < DEVICE_COUNT; }
  RowState& rowOf(int slot) { return rows_[binding_[slot]]; }
  const RowState& rowOf(int slot) const { return rows_[binding_[slot]]; }
  void publish(const Change& change);  // lock held
  void emitRow(int slot);           // lock held
  void emitCounters();              // lock held
  void emitEnabled(Element element);
  void emitChecked(Check check);
  void emitCopyList();
  bool& checkRef(Check check);
  bool checkValue(Check check) const;
  template <class F> void changeRow(int slot, F&& f);

  ModelOptions options_;
  LanguageTable* lang_;
  std::uint16_t langId_;
  PortLog portLog_;

  mutable std::mutex mu_;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextListener_ = 1;
  MessageHandler messageHandler_;
  std::function<void()> pumpHook_;
  std::thread::id windowThread_;
  RunStarter runStarter_;

  std::array<char, DEVICE_COUNT> drive_{};
  std::array<int, DEVICE_COUNT> binding_{};
  std::array<bool, DEVICE_COUNT> runMark_{};
  std::array<RowState, DEVICE_COUNT> rows_;
  Counters counters_;
  std::array<bool, kElementCount> enabled_{};
  Settings settings_;          // check boxes, combo, label and the Setting page's values
  bool chkEraseAll_ = false;
  std::vector<std::string> copyList_;
  std::vector<int> selection_;
  int sdkBondingId_ = 0;
  std::string systemAreaText_ = "System Area Size:";
  std::string caption_ = platform::kInstanceName;
  std::string appTitle_ = platform::kInstanceName;
  int activePage_ = 0;
  std::string edit5_;
  SettingPageState pageState_;
  std::unique_ptr<platform::InstanceLock> instanceLock_;
};

}  // namespace station

// The main window as a thread-safe model, in three parts that share one lock and one
// ordered stream of change records: the rows and counters (StationRows), the copy list
// (CopyListModel) and the settings and pages (SettingControls). This class composes them
// and links them to the window: listeners, modal messages, the window thread, the run
// starter, the language table, the port log and the single-instance lock. Production runs
// see it through two narrow faces: reporter() and runSettings().
//
// Every change is one step under the model's lock and produces one change record; the
// listeners receive the records under that lock, so they see them in the order the changes
// were made. Listeners must not call back into the model; they copy or forward the record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/single_instance.h"
#include "station/model/copy_list_model.h"
#include "station/model/model_core.h"
#include "station/model/setting_controls.h"
#include "station/model/station_rows.h"
#include "station/ops/run_reporter.h"
#include "station/ops/run_settings.h"
#include "station/portlog/port_log.h"
#include "station/texts/lang.h"

namespace station {

struct ModelOptions {
  // The program's folder: made the current directory by FormShow; port log under misc/.
  std::string programFolder;
  std::string portLogPath;            // empty: <programFolder>/misc/port.log
  LanguageTable* languages = nullptr; // null: the process's table
  std::uint16_t langId = 0;           // 0: the system's language
};

class StationModel {
 public:
  using Listener = ModelCore::Listener;
  using MessageHandler = std::function<void(const ModalMessage&)>;
  using RunStarter = std::function<void(char drive)>;

  explicit StationModel(ModelOptions options = {});
  ~StationModel();
  StationModel(const StationModel&) = delete;
  StationModel& operator=(const StationModel&) = delete;

  // --- the parts ---
  StationRows& rows() { return rows_; }
  const StationRows& rows() const { return rows_; }
  CopyListModel& files() { return files_; }
  const CopyListModel& files() const { return files_; }
  SettingControls& controls() { return controls_; }
  const SettingControls& controls() const { return controls_; }
  // What production runs report through and read, in their own words.
  RunReporter& reporter();
  RunSettings& runSettings();

  // --- front end ---
  int addListener(Listener listener) { return core_.addListener(std::move(listener)); }
  void removeListener(int id) { core_.removeListener(id); }
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
  void startRun(char drive);

  // --- messages, waits and the port log, from any thread ---
  void showMessage(const std::string& text, const std::string& caption, MessageIcon icon);
  void pump();
  // One line appended to the port log (CR LF added).
  void appendPortLog(const std::string& line) { portLog_.append(line); }
  PortLog& portLogFile() { return portLog_; }

  // --- the language table ---
  const ModelOptions& options() const { return options_; }
  const LanguageTable& languages() const { return *lang_; }
  LanguageTable& mutableLanguages() { return *lang_; }
  std::uint16_t langId() const { return langId_; }
  // A language text's bytes, and bytes of the table's code page decoded for display.
  const std::string& lang(LangText id) const { return lang_->text(id); }
  std::string display(const std::string& bytes) const;

  // --- the single-instance lock, released by FormClose ---
  void setInstanceLock(std::unique_ptr<platform::InstanceLock> lock);
  bool releaseInstanceLock();
  bool instanceLockHeld() const;

 private:
  class Reporter;
  class ReadSettings;

  ModelOptions options_;
  LanguageTable* lang_;
  std::uint16_t langId_;
  PortLog portLog_;

  ModelCore core_;
  SettingControls controls_;
  CopyListModel files_;
  StationRows rows_;
  std::unique_ptr<Reporter> reporter_;
  std::unique_ptr<ReadSettings> runSettings_;

  MessageHandler messageHandler_;
  std::function<void()> pumpHook_;
  std::thread::id windowThread_;
  RunStarter runStarter_;
  std::unique_ptr<platform::InstanceLock> instanceLock_;
};

}  // namespace station

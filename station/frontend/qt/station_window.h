// The main window (Qt Widgets): renders the station model and forwards the operator's
// input to the model's handlers. It holds no state of its own beyond the widgets: every
// change record reaches it on the GUI thread through one queue, in the order the model
// made the changes.
#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "platform/volume_events.h"
#include "station/settings/prefer_package_page.h"
#include "station/model/copy_list_edit.h"
#include "station/model/device_arrival.h"
#include "station/model/startup.h"
#include "station/model/station_model.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;
class QTabWidget;
class QTimer;

namespace station {

class TfrmBmpPreview;

struct WindowDeps {
  ArrivalContext* arrival = nullptr;        // device-tool runs on arrival
  platform::VolumeEvents* events = nullptr; // polled on the GUI thread
  FileChooser chooser;                      // empty: the toolkit's file dialog
  // Shows a modal message on the GUI thread; empty: a QMessageBox.
  std::function<void(const ModalMessage&)> presenter;
  // Empty hooks are filled with the window's own Setting page and preview.
  StartupHooks hooks;
  int eventPollMs = 50;
  // The Setting page: the preview window (created before the main window; null: none),
  // the folder and package dialogs (empty: the toolkit's) and where Apply puts a new
  // package (empty: the platform's default).
  TfrmBmpPreview* preview = nullptr;
  std::function<std::optional<std::string>()> folderChooser;
  std::function<std::optional<std::string>()> packageChooser;
  std::string newPackagePath;
};

class StationWindow : public QWidget {
 public:
  StationWindow(StationModel& model, WindowDeps deps, QWidget* parent = nullptr);
  ~StationWindow() override;

  // Brings the window forward, restored when minimised (a later start asks for it).
  void raiseFromAnotherStart();
  // Looks at the volume notifications once (the timer does it every eventPollMs).
  void pollVolumeEvents();
  SettingPage& settingPage() { return *page_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Row {
    QLabel* port;
    QLabel* label;
    QLabel* info;
    QProgressBar* bar;
    QLabel* image;
    QLabel* spare;
  };

  void build();
  void buildSettingsGroup(QWidget* page);
  void buildFileGroup(QWidget* page);
  void buildRows(QWidget* page);
  void buildCounters(QWidget* page);
  void buildSettingPage(QWidget* page);
  void connectInput();
  void apply(const Change& change);
  void applyRow(int row, const RowState& state);
  void applyTexts();
  void applySettingsPage(const Settings& settings, const std::string& edit5);
  void makeSettingPage();
  void applySettingPageState();
  void presentUtf8(const std::string& text, const std::string& caption);
  void renderAll();
  void present(const ModalMessage& message);
  // Runs a handler; an error that escapes it is shown with its text and the window goes on.
  void guarded(const std::function<void()>& handler);
  QString displayText(const std::string& bytes) const;
  QCheckBox* box(Check check) const { return checks_[static_cast<int>(check)]; }
  QWidget* element(Element element) const;
  void detach();

  StationModel& model_;
  WindowDeps deps_;
  int listener_ = 0;
  bool shown_ = false;
  bool attached_ = false;

  QTabWidget* pages_ = nullptr;
  QWidget* production_ = nullptr;
  QWidget* settingPage_ = nullptr;
  QGroupBox* grpMPSetting_ = nullptr;
  QGroupBox* grpFileList_ = nullptr;
  std::array<QCheckBox*, kCheckCount> checks_{};
  QComboBox* systemAreaCombo_ = nullptr;
  QLabel* labelStatic_ = nullptr;
  QLineEdit* labelEdit_ = nullptr;
  QListWidget* copyList_ = nullptr;
  QPushButton* addFiles_ = nullptr;
  QPushButton* remove_ = nullptr;
  QLabel* labSystemArea_ = nullptr;
  QPushButton* upgrade_ = nullptr;
  std::array<Row, DEVICE_COUNT> rows_{};
  QGroupBox* counterGroup_ = nullptr;
  QLabel* counterLabels_[3] = {};
  QLabel* counterValues_[3] = {};
  QLineEdit* edits_[6] = {};  // Edit1, Edit2, Edit4, Edit5, Edit6 (and a spare)
  QComboBox* comboBox1_ = nullptr;
  QComboBox* comboBox3_ = nullptr;
  QSlider* trackBar1_ = nullptr;
  QLineEdit* edit9_ = nullptr;
  QPushButton* btnSelectPrefer_ = nullptr;
  QPushButton* button1_ = nullptr;  // start-up folder
  QPushButton* button4_ = nullptr;  // shutdown folder
  QPushButton* button2_ = nullptr;  // start-up Preview
  QPushButton* button5_ = nullptr;  // shutdown Preview
  QPushButton* button6_ = nullptr;  // Apply
  QPushButton* button7_ = nullptr;  // Ok
  QPushButton* button8_ = nullptr;  // Cancel
  std::unique_ptr<SettingPage> page_;
  QTimer* eventTimer_ = nullptr;
};

}  // namespace station

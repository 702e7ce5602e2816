// The main window (Qt Widgets): the window description's Form1 made as widgets by the Qt
// front end and kept up to date by the binder, which also takes the operator's input to
// the model's handlers. Every change record reaches it on the GUI thread through one
// queue, in the order the model made the changes.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "platform/volume_events.h"
#include "station/model/copy_list_edit.h"
#include "station/model/device_arrival.h"
#include "station/model/startup.h"
#include "station/frontend/qt/qt_front_end.h"
#include "station/model/station_model.h"
#include "station/window/binder.h"

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
  SettingPage& settingPage() { return *binder_->settingPage(); }
  QtFrontEnd& frontEnd() { return *frontEnd_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void detach();

  StationModel& model_;
  WindowDeps deps_;
  std::unique_ptr<QtFrontEnd> frontEnd_;
  std::unique_ptr<Binder> binder_;
  bool shown_ = false;
  bool attached_ = false;
  QTimer* eventTimer_ = nullptr;
};

}  // namespace station

// The main window (Qt Widgets): the window description's Form1 made as widgets by the Qt
// front end; the shell binds it to the model and runs it. Every change record reaches it
// on the GUI thread through one queue, in the order the model made the changes.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "station/frontend/qt/qt_front_end.h"
#include "station/model/copy_list_edit.h"
#include "station/window/binder.h"
#include "station/window/front_end_host.h"

namespace station {

class QtPreviewWindow;

struct WindowDeps {
  FileChooser chooser;  // empty: the toolkit's file dialog
  // Shows a modal message on the GUI thread; empty: a QMessageBox.
  std::function<void(const ModalMessage&)> presenter;
  // The Setting page: the preview window (created before the main window; null: none),
  // the folder and package dialogs (empty: the toolkit's) and where Apply puts a new
  // package (empty: the platform's default).
  QtPreviewWindow* preview = nullptr;
  std::function<std::optional<std::string>()> folderChooser;
  std::function<std::optional<std::string>()> packageChooser;
  std::string newPackagePath;
};

class StationWindow : public QWidget, public FrontEndHost {
 public:
  explicit StationWindow(WindowDeps deps = {}, QWidget* parent = nullptr);
  ~StationWindow() override;

  // Brings the window forward, restored when minimised (a later start asks for it).
  void raiseFromAnotherStart();
  SettingPage& settingPage() { return *binder_->settingPage(); }
  QtFrontEnd& frontEnd() override { return *frontEnd_; }

  void configure(BinderDeps& deps) override;
  void bind(Binder& binder, std::function<bool()> closing) override;
  void made() override;
  std::function<void()> pump() override;
  void showWindow() override { show(); }
  void runLoop() override;
  void requestClose() override;
  // QWidget::grab: .bmp, .png or any format Qt writes, chosen by the file's suffix.
  bool screenshot(const std::string& path) override;
  void* nativeWindow() override;
  void comeForward() override { raiseFromAnotherStart(); }
  void fatal(const std::string& text) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  WindowDeps deps_;
  std::unique_ptr<QtFrontEnd> frontEnd_;
  Binder* binder_ = nullptr;
  std::function<bool()> closing_;
  bool centred_ = false;
};

}  // namespace station

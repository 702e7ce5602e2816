// The animation preview window (frmBmpPreview) as a Qt widget, the shared preview window
// (station/window/preview_window.h) made on a Qt front end of its own. Created once with
// the application and hidden until a Preview shows it; its close button only hides it.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "station/frontend/qt/qt_front_end.h"
#include "station/window/preview_window.h"

namespace station {

class QtPreviewWindow : public QWidget {
 public:
  // `source` reads the Setting page at the moment of a Preview or Play.
  explicit QtPreviewWindow(std::function<PreviewSource()> source = {}, QWidget* parent = nullptr);

  void setSource(std::function<PreviewSource()> source) { preview_->setSource(std::move(source)); }
  void showStartup() { preview_->showStartup(); }
  void showShutdown() { preview_->showShutdown(); }
  void play() { preview_->play(); }
  void stopRequest() { preview_->stopRequest(); }
  void playTick() { preview_->playTick(); }

  const PreviewPlayer& player() const { return preview_->player(); }
  bool timerActive() const { return preview_->timerActive(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<QtFrontEnd> frontEnd_;
  std::unique_ptr<PreviewWindow> preview_;
};

}  // namespace station

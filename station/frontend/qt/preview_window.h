// TfrmBmpPreview: the animation preview window as a Qt widget, the shared preview window
// (station/window/preview_window.h) made on a Qt front end of its own. Created once with
// the application and hidden until a Preview shows it; its close button only hides it.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "station/frontend/qt/qt_front_end.h"
#include "station/window/preview_window.h"

namespace station {

class TfrmBmpPreview : public QWidget {
 public:
  // `source` reads the Setting page at the moment of a Preview or Play.
  explicit TfrmBmpPreview(std::function<PreviewSource()> source = {}, QWidget* parent = nullptr);

  void setSource(std::function<PreviewSource()> source) { preview_->setSource(std::move(source)); }
  void Button2Click() { preview_->Button2Click(); }
  void Button5Click() { preview_->Button5Click(); }
  void btnPlayClick() { preview_->btnPlayClick(); }
  void btnStopClick() { preview_->btnStopClick(); }
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

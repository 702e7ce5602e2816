// TfrmBmpPreview: the animation preview window (Qt Widgets), made from the window
// description's frmBmpPreview. Created once with the
// application and hidden until a Preview shows it; its close button only hides it. Play
// runs on a timer on the window thread (no nested event loop), one frame about every half
// second, until a stop request; hiding the window does not stop it.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "station/frontend/qt/qt_front_end.h"
#include "station/settings/frame_set_preview.h"

class QTimer;

namespace station {

class TfrmBmpPreview : public QWidget {
 public:
  // `source` reads the Setting page at the moment of a Preview or Play.
  explicit TfrmBmpPreview(std::function<PreviewSource()> source = {}, QWidget* parent = nullptr);

  void setSource(std::function<PreviewSource()> source) { source_ = std::move(source); }
  void Button2Click();  // start-up Preview
  void Button5Click();  // shutdown Preview
  void btnPlayClick();
  void btnStopClick();
  // A stop request from elsewhere (folder choice, Cancel, the main window's close).
  void stopRequest();
  // One turn of the play loop (the timer's work).
  void playTick();

  const PreviewPlayer& player() const { return player_; }
  bool timerActive() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void preview(Animation animation);
  void display(const PreviewPlayer::Shown& shown);

  std::function<PreviewSource()> source_;
  PreviewPlayer player_;
  std::unique_ptr<QtFrontEnd> frontEnd_;
  QTimer* timer_ = nullptr;
};

}  // namespace station

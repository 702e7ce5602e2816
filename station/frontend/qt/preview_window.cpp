#include "station/frontend/qt/preview_window.h"

#include <QCloseEvent>
#include <QTimer>

#include "station/frontend/qtimage/picture_qt.h"
#include "station/window/binder.h"

namespace station {

namespace {
constexpr int kFrameMs = 500;
}

TfrmBmpPreview::TfrmBmpPreview(std::function<PreviewSource()> source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)), player_(loadPictureQt) {
  // The program ends with its main window, whether or not a preview is showing.
  setAttribute(Qt::WA_QuitOnClose, false);
  frontEnd_ = std::make_unique<QtFrontEnd>(this);
  QtInputs inputs;
  inputs.clicked = [this](const std::string& name) {
    if (name == "btnPlay") btnPlayClick();
    if (name == "btnStop") btnStopClick();
  };
  frontEnd_->setInputs(std::move(inputs));
  createWindow(*frontEnd_, previewWindowDesc());
  timer_ = new QTimer(this);
  timer_->setInterval(kFrameMs);
  connect(timer_, &QTimer::timeout, this, [this] { playTick(); });
}

void TfrmBmpPreview::display(const PreviewPlayer::Shown& shown) {
  PictureRef picture;
  if (shown.picture) picture.image = &*shown.picture;
  frontEnd_->setPicture("Image1", picture);
  frontEnd_->setToolTip("Image1", pathToUtf8(shown.error));
}

void TfrmBmpPreview::preview(Animation animation) {
  timer_->stop();
  display(player_.preview(animation, source_ ? source_() : PreviewSource{}));
  QWidget::show();
  raise();
}

void TfrmBmpPreview::Button2Click() { preview(Animation::Startup); }
void TfrmBmpPreview::Button5Click() { preview(Animation::Shutdown); }

void TfrmBmpPreview::btnPlayClick() {
  // A Play inside a running Play starts the loop again from frame 1.
  timer_->stop();
  if (!player_.play(source_ ? source_() : PreviewSource{})) return;
  playTick();
  if (player_.playing()) timer_->start();
}

void TfrmBmpPreview::btnStopClick() { stopRequest(); }

void TfrmBmpPreview::stopRequest() {
  player_.stop();
  timer_->stop();
}

void TfrmBmpPreview::playTick() {
  if (!player_.playing()) {
    timer_->stop();
    return;
  }
  display(player_.step());
}

bool TfrmBmpPreview::timerActive() const { return timer_->isActive(); }

void TfrmBmpPreview::closeEvent(QCloseEvent* event) {
  // Closing only hides the window; a running Play goes on.
  event->accept();
  hide();
}

}  // namespace station

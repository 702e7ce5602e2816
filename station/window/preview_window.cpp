#include "station/window/preview_window.h"

#include "station/window/binder.h"
#include "station/window/window_description.h"

namespace station {

namespace {
const std::string& windowName() { return previewWindowDesc().window().name; }
}  // namespace

PreviewWindow::PreviewWindow(FrontEnd& frontEnd, PictureLoader loader) : fe_(frontEnd), player_(std::move(loader)) {
  createWindow(fe_, previewWindowDesc());
}

bool PreviewWindow::clicked(const std::string& name) {
  const ElementDesc* e = previewWindowDesc().find(name);
  if (!e) return false;
  if (e->handler == Handler::Play) play();
  if (e->handler == Handler::Stop) stopRequest();
  return true;
}

void PreviewWindow::display(const PreviewPlayer::Shown& shown) {
  PictureRef picture;
  if (shown.picture) picture.image = &*shown.picture;
  for (const ElementDesc& e : previewWindowDesc().elements) {
    if (e.shows != Shows::PreviewFrame) continue;
    fe_.setPicture(e.name, picture);
    fe_.setToolTip(e.name, pathToUtf8(shown.error));  // why a frame is missing
  }
}

void PreviewWindow::preview(Animation animation) {
  stopTimer();
  display(player_.preview(animation, source_ ? source_() : PreviewSource{}));
  fe_.setVisible(windowName(), true);
}

void PreviewWindow::showStartup() { preview(Animation::Startup); }
void PreviewWindow::showShutdown() { preview(Animation::Shutdown); }

void PreviewWindow::play() {
  // A Play inside a running Play starts the loop again from frame 1.
  stopTimer();
  if (!player_.play(source_ ? source_() : PreviewSource{})) return;
  playTick();
  if (player_.playing()) startTimer();
}

void PreviewWindow::stopRequest() {
  player_.stop();
  stopTimer();
}

void PreviewWindow::playTick() {
  if (!player_.playing()) {
    stopTimer();
    return;
  }
  display(player_.step());
}

void PreviewWindow::startTimer() {
  timerActive_ = true;
  fe_.setTimer(windowName(), kFrameMs, [this] { playTick(); });
}

void PreviewWindow::stopTimer() {
  if (!timerActive_) return;
  timerActive_ = false;
  fe_.setTimer(windowName(), 0, {});
}

}  // namespace station

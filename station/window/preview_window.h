// The animation preview window (frmBmpPreview) for every front end: made from the window
// description on the given front end, hidden until a Preview shows it. Play runs on the
// window's timer on the window thread (no nested event loop), one frame about every half
// second, until a stop request; hiding the window does not stop it.
#pragma once

#include <functional>

#include "station/settings/frame_set_preview.h"
#include "station/window/front_end.h"

namespace station {

class PreviewWindow {
 public:
  static constexpr int kFrameMs = 500;

  // Makes the window's controls on `frontEnd`, which outlives this.
  PreviewWindow(FrontEnd& frontEnd, PictureLoader loader);

  // `source` reads the Setting page at the moment of a Preview or Play.
  void setSource(std::function<PreviewSource()> source) { source_ = std::move(source); }
  // The window's buttons; false for any other element.
  bool clicked(const std::string& name);

  // The Setting page's two Preview buttons: the animation's first frame, the window shown.
  void showStartup();
  void showShutdown();
  void play();
  // Stop, and a stop request from elsewhere (folder choice, Cancel, the main window's close).
  void stopRequest();
  // One turn of the play loop (the timer's work).
  void playTick();

  const PreviewPlayer& player() const { return player_; }
  bool timerActive() const { return timerActive_; }

 private:
  void preview(Animation animation);
  void display(const PreviewPlayer::Shown& shown);
  void startTimer();
  void stopTimer();

  FrontEnd& fe_;
  std::function<PreviewSource()> source_;
  PreviewPlayer player_;
  bool timerActive_ = false;
};

}  // namespace station

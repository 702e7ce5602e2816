// The animation preview's state and frames, apart from any window: the Previews show
// frame 1 of a frame folder or of a package, Play cycles through the frames until a stop
// request. The window drives `step` from a timer about twice a second, so the loop never
// blocks the window thread; Play during a running Play starts again from frame 1, and one
// stop request ends it, as a loop inside a loop would.
#pragma once

#include <optional>
#include <string>

#include "station/settings/prefer_package.h"
#include "station/settings/prefer_package_page.h"

namespace station {

class PreviewPlayer {
 public:
  explicit PreviewPlayer(PictureLoader loader) : loader_(std::move(loader)) {}

  struct Shown {
    std::optional<Picture> picture;  // nullopt: the picture control is cleared
    std::string error;               // why nothing could be shown
  };
  // A Preview: mode and count set, any running Play told to stop, and
  // frame 1 from the folder (when its field is set) or from the package.
  Shown preview(Animation animation, const PreviewSource& source);

  // Play: stop request := 0, frame index := 0. False when there is nothing to
  // play (an empty frame list, a package that does not open): the loop ends at once.
  bool play(const PreviewSource& source);
  // One turn of the loop: the frame at the index, then the index moves on (back to 0
  // after the last frame). Only while playing().
  Shown step();
  // Stop and every other stop source.
  void stop() { stopRequest_ = 1; }

  bool playing() const { return playing_ && stopRequest_ == 0; }
  int stopRequest() const { return stopRequest_; }
  int startupMode() const { return startupMode_; }
  int frameIndex() const { return frameIndex_; }
  int frameCount() const { return startupMode_ ? startupCount_ : shutdownCount_; }

 private:
  Shown folderFrame(const std::string& folder, int n) const;
  Shown packageFrame(const std::string& path, int n) const;
  Animation animation() const { return startupMode_ ? Animation::Startup : Animation::Shutdown; }

  PictureLoader loader_;
  int startupCount_ = kStartupFrames;
  int shutdownCount_ = kShutdownFrames;
  int startupMode_ = 0;
  int stopRequest_ = 0;
  int frameIndex_ = 0;
  bool playing_ = false;
  bool fromFolder_ = false;
  std::string playFolder_, playPackage_;
};

}  // namespace station

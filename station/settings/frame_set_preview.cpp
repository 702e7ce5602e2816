#include "station/settings/frame_set_preview.h"

#include "station/settings/frame_set.h"

namespace station {

namespace {

// The set's folder: that of the first listed picture, else the field itself.
std::string setFolder(const std::vector<std::string>& list, const std::string& field) {
  return list.empty() ? withSeparator(field) : folderPart(list.front());
}

}  // namespace

PreviewPlayer::Shown PreviewPlayer::folderFrame(const std::string& folder, int n) const {
  const std::string path = resolvePicture(folder, pictureName(animation(), n + 1));
  Shown s;
  s.picture = loader_ ? loader_(path) : std::nullopt;
  if (!s.picture) s.error = "Cannot read the picture " + path;
  return s;
}

PreviewPlayer::Shown PreviewPlayer::packageFrame(const std::string& path, int n) const {
  Shown s;
  Picture p;
  if (auto error = readPackageFrame(path, animation(), n, p)) s.error = *error;
  else s.picture = std::move(p);
  return s;
}

PreviewPlayer::Shown PreviewPlayer::preview(Animation which, const PreviewSource& source) {
  startupMode_ = which == Animation::Startup ? 1 : 0;
  stopRequest_ = 1;
  playing_ = false;
  const bool startup = which == Animation::Startup;
  (startup ? startupCount_ : shutdownCount_) = startup ? kStartupFrames : kShutdownFrames;
  const std::string& field = startup ? source.startupFolder : source.shutdownFolder;
  if (!field.empty()) return folderFrame(setFolder(startup ? source.startupList : source.shutdownList, field), 0);
  return packageFrame(source.chosenPackage, 0);
}

bool PreviewPlayer::play(const PreviewSource& source) {
  stopRequest_ = 0;
  frameIndex_ = 0;
  playing_ = false;
  fromFolder_ = !source.shutdownFolder.empty() || !source.startupFolder.empty();
  if (fromFolder_) {
    const auto& list = startupMode_ ? source.startupList : source.shutdownList;
    if (list.empty()) return false;
    playFolder_ = folderPart(list.front());
  } else {
    // Only a package that holds every frame of the animation plays.
    PackageInfo info;
    if (readPackageInfo(source.chosenPackage, info)) return false;
    const std::uint64_t frame = std::uint64_t(info.header.Width) * info.header.Height * 2;
    const std::uint64_t offset = startupMode_ ? info.header.StartupOffset : info.header.ShutdownOffset;
    if (frame == 0 || offset + frame * frameCount() > info.fileLength) return false;
    playPackage_ = source.chosenPackage;
  }
  playing_ = true;
  return true;
}

PreviewPlayer::Shown PreviewPlayer::step() {
  if (!playing()) return {};
  Shown s = fromFolder_ ? folderFrame(playFolder_, frameIndex_) : packageFrame(playPackage_, frameIndex_);
  if (++frameIndex_ >= frameCount()) frameIndex_ = 0;
  return s;
}

}  // namespace station

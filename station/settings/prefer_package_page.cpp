#include "station/settings/prefer_package_page.h"

#include <algorithm>

namespace station {

namespace {

int frameSize(const std::string& text) {
  auto v = parseDecimal(text);
  return v && *v > 0 && *v <= 0xFFFF ? static_cast<int>(*v) : 0;
}

// An item index from a 16-bit header field: one the list lacks leaves it without a selection.
int itemIndex(std::uint16_t value, int items) { return value < items ? value : -1; }

}  // namespace

SettingPage::SettingPage(SettingPageDeps deps, SettingPageState initial)
    : deps_(std::move(deps)), state_(std::move(initial)) {}

void SettingPage::changed() {
  if (listener_) listener_();
}

void SettingPage::chooseFolder(Animation animation) {
  if (deps_.stopPreview) deps_.stopPreview();
  std::optional<std::string> folder = deps_.chooseFolder ? deps_.chooseFolder() : std::nullopt;
  if (!folder) return;
  std::vector<std::string>& list = animation == Animation::Startup ? startupList_ : shutdownList_;
  list.clear();
  LoadFavorite(*folder, list, deps_.pump);
  checkSet(animation, *folder);
  applyEnableCheck();
}

void SettingPage::validateStoredFolders() {
  for (Animation animation : {Animation::Startup, Animation::Shutdown}) {
    const Settings s = deps_.values();
    const std::string folder = animation == Animation::Startup ? s.startupFolder : s.shutdownFolder;
    if (folder.empty()) continue;
    std::vector<std::string>& list = animation == Animation::Startup ? startupList_ : shutdownList_;
    list.clear();
    LoadFavorite(folder, list, deps_.pump);
    checkSet(animation, folder);
    applyEnableCheck();
  }
}

void SettingPage::checkSet(Animation animation, const std::string& folder) {
  const Settings s = deps_.values();
  const int w = frameSize(s.frameWidth), h = frameSize(s.frameHeight);
  const unsigned mask = checkFrameSet(animation, frameList(animation), w > 0 ? w : -1,
                                      h > 0 ? h : -1, deps_.loader);
  const bool pass = mask == fullMask(animation);
  Settings next = s;
  (animation == Animation::Startup ? next.startupFolder : next.shutdownFolder) = pass ? folder : std::string();
  if (pass) {
    (animation == Animation::Startup ? state_.startupPreview : state_.shutdownPreview) = true;
  } else if (deps_.message) {
    deps_.message(frameSetMessage(animation, w, h), kPictureShortCaption);
  }
  deps_.setValues(next);
  changed();
}

void SettingPage::applyEnableCheck() {
  if (state_.startupPreview && state_.shutdownPreview && !state_.applyEnabled) {
    state_.applyEnabled = true;
    changed();
  }
}

void SettingPage::choosePackage() {
  std::optional<std::string> path = deps_.choosePackage ? deps_.choosePackage() : std::nullopt;
  if (path) selectPackage(*path);
}

void SettingPage::selectPackage(const std::string& path) {
  state_.chosenPackage = path;
  PackageInfo info;
  if (auto error = readPackageInfo(path, info)) {
    // A header that does not fit the file is not taken into the page.
    if (deps_.message) deps_.message(*error, "prefer.dat");
  } else {
    Settings s = deps_.values();
    s.frameWidth = std::to_string(info.header.Width);
    s.frameHeight = std::to_string(info.header.Height);
    s.fmSelection = itemIndex(info.header.FmSelection, 2);
    s.playerLanguage = itemIndex(info.header.Language, 4);
    s.contrast = std::min<int>(info.header.Contrast, 10);
    deps_.setValues(s);
    if (info.startupLayoutOk()) state_.startupPreview = true;
    if (info.shutdownLayoutOk()) state_.shutdownPreview = true;
  }
  changed();
  applyEnableCheck();
}

void SettingPage::apply() {
  const Settings s = deps_.values();
  ApplyRequest rq;
  rq.startupFolder = s.startupFolder;
  rq.shutdownFolder = s.shutdownFolder;
  rq.widthText = s.frameWidth;
  rq.heightText = s.frameHeight;
  rq.fm = s.fmSelection;
  rq.language = s.playerLanguage;
  rq.contrast = s.contrast;
  rq.chosenPackage = state_.chosenPackage;
  rq.newPackagePath = deps_.newPackagePath;
  const ApplyResult r = applyPackage(rq, deps_.loader);
  if (!r.written && deps_.message) deps_.message(r.message, r.caption);
}

void SettingPage::setFm(int index) {
  Settings s = deps_.values();
  s.fmSelection = index;
  deps_.setValues(s);
  applyEnableCheck();
}

void SettingPage::setPlayerLanguage(int index) {
  Settings s = deps_.values();
  s.playerLanguage = index;
  deps_.setValues(s);
}

void SettingPage::setContrast(int position) {
  Settings s = deps_.values();
  s.contrast = position;
  deps_.setValues(s);
  if (deps_.setEdit5) deps_.setEdit5(std::to_string(position));
}

void SettingPage::cancel() {
  if (deps_.stopPreview) deps_.stopPreview();
  if (deps_.closeMainWindow) deps_.closeMainWindow();
  if (deps_.closePreview) deps_.closePreview();
}

void SettingPage::releaseFrameLists() {
  startupList_.clear();
  shutdownList_.clear();
  startupList_.shrink_to_fit();
  shutdownList_.shrink_to_fit();
}

PreviewSource SettingPage::previewSource() const {
  const Settings s = deps_.values();
  return {s.startupFolder, s.shutdownFolder, state_.chosenPackage, startupList_, shutdownList_};
}

}  // namespace station

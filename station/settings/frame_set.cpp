#include "station/settings/frame_set.h"

#include <cstdio>

#include "base/ascii.h"
#include "platform/file_search.h"
#include "platform/path_name.h"

namespace station {

namespace {

using tarn::asciiLower;

}  // namespace

int frameCount(Animation animation) {
  return animation == Animation::Startup ? kStartupFrames : kShutdownFrames;
}

std::string frameName(Animation animation, int n) {
  return (animation == Animation::Startup ? "boot" : "End") + std::to_string(n) + ".bmp";
}

std::string pictureName(Animation animation, int n) {
  return (animation == Animation::Startup ? "Boot" : "End") + std::to_string(n) + ".bmp";
}

unsigned fullMask(Animation animation) { return (1u << frameCount(animation)) - 1; }

std::string withSeparator(const std::string& folder) {
  return platform::withFolderSeparator(folder);
}

std::string folderPart(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i)
    if (platform::isFolderSeparator(path[i - 1])) return path.substr(0, i);
  return std::string();
}

std::string namePart(const std::string& path) { return path.substr(folderPart(path).size()); }

void LoadFavorite(const std::string& folder, std::vector<std::string>& list,
                  const std::function<void()>& pump) {
  const std::string base = withSeparator(folder);
  for (const platform::FolderEntry& e : platform::listFolder(base)) {
    if (e.hidden || e.name == "." || e.name == ".." || e.directory) continue;
    const size_t dot = e.name.rfind('.');
    if (dot == std::string::npos || asciiLower(e.name.substr(dot)) != ".bmp") continue;
    list.push_back(base + e.name);
    if (pump) pump();
  }
}

unsigned checkFrameSet(Animation animation, const std::vector<std::string>& list, int w, int h,
                       const PictureLoader& loader) {
  unsigned mask = 0;
  const int count = frameCount(animation);
  for (const std::string& path : list) {
    const std::string name = namePart(path);
    for (int n = 1; n <= count; ++n) {
      if (name != frameName(animation, n)) continue;
      if (animation == Animation::Shutdown) {
        mask |= 1u << (n - 1);
      } else if (loader) {
        std::optional<Picture> p = loader(path);
        if (p && p->width == w && p->height == h) mask |= 1u << (n - 1);
      }
    }
  }
  return mask;
}

std::string frameSetMessage(Animation animation, int w, int h) {
  if (animation == Animation::Shutdown)
    return "請提供以End為開頭的8幅(65k色,160x128)圖片,(比如End1.bmp到End8.bmp)";
  char text[256];
  std::snprintf(text, sizeof text,
                "請提供以boot為開頭的12幅(65k色,%dx%d)圖片,(比如boot1.bmp到boot12.bmp)", w, h);
  return text;
}

std::string resolvePicture(const std::string& folder, const std::string& name) {
  // The name as the folder spells it, so that every platform reads the same file whatever
  // case the caller asked in (Windows would find either spelling, other systems only one).
  const std::string base = withSeparator(folder);
  const std::string wanted = asciiLower(name);
  std::string found;
  for (const platform::FolderEntry& e : platform::listFolder(base)) {
    if (e.directory) continue;
    if (e.name == name) return base + name;
    if (found.empty() && asciiLower(e.name) == wanted) found = e.name;
  }
  return base + (found.empty() ? name : found);
}

}  // namespace station

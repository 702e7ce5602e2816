// Reading paths by the system's rules. Windows takes either slash between folders but names
// a listed file after its last backslash (a copy-list entry "C:\media/x/song.mp3" is copied
// as "media/x/song.mp3"); elsewhere a path's folders end at "/", and a listed file that was
// chosen on Windows still has its name after the last backslash.
#pragma once

#include <string>
#include <string_view>

#include "platform/program_folder.h"

namespace platform {

#ifdef _WIN32
inline constexpr std::string_view kFileNameCuts = "\\";
inline constexpr bool isFolderSeparator(char c) { return c == '\\' || c == '/'; }
#else
inline constexpr std::string_view kFileNameCuts = "\\/";
inline constexpr bool isFolderSeparator(char c) { return c == '/'; }
#endif

// The name of a listed file: what follows its last cut.
inline std::string fileNameOf(std::string_view path) {
  const size_t cut = path.find_last_of(kFileNameCuts);
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

// A path written the Windows way (.\misc\x.txt) as the system names that file.
inline std::string systemPath(std::string path) {
  if constexpr (kPathSeparator != '\\')
    for (char& c : path)
      if (c == '\\') c = kPathSeparator;
  return path;
}

// `folder` ending in a separator (the system's own when one is added).
inline std::string withFolderSeparator(const std::string& folder) {
  if (!folder.empty() && isFolderSeparator(folder.back())) return folder;
  return folder + kPathSeparator;
}

}  // namespace platform

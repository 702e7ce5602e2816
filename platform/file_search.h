// Listing one folder's entries with the attributes the station's file searches look at.
// Windows: FindFirstFileA / FindNextFileA / FindClose; POSIX: the directory stream, where
// a name starting with "." counts as hidden.
#pragma once

#include <string>
#include <vector>

#include "platform/system.h"

namespace platform {

// Whether the system's file names match without regard to case (then any spelling of a
// name opens the file, and a search for one need not list the folder).
inline constexpr bool kNamesIgnoreCase = kWindows;

struct FolderEntry {
  std::string name;  // without the folder
  bool directory = false;
  bool hidden = false;
};

// Every entry of `folder` ("." and ".." included, as the system gives them), in the
// system's order; empty when the folder cannot be read.
std::vector<FolderEntry> listFolder(const std::string& folder);

}  // namespace platform

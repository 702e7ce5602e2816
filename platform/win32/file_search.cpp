#include "platform/file_search.h"

#include <windows.h>

namespace platform {

std::vector<FolderEntry> listFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return entries;
  do {
    FolderEntry e;
    e.name = data.cFileName;
    e.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entries.push_back(std::move(e));
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return entries;
}

}  // namespace platform

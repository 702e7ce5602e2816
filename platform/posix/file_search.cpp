#include "platform/file_search.h"

#include <dirent.h>
#include <sys/stat.h>

namespace platform {

std::vector<FolderEntry> listFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return entries;
  while (dirent* d = readdir(dir)) {
    FolderEntry e;
    e.name = d->d_name;
    struct stat st;
    // Follows links, as the Windows search reports the target's kind.
    e.directory = stat((folder + "/" + e.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    e.hidden = !e.name.empty() && e.name[0] == '.';
    entries.push_back(std::move(e));
  }
  closedir(dir);
  return entries;
}

}  // namespace platform

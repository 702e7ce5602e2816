#include "station/settings/copy_list.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file_read.h"
#include "platform/file_replace.h"

namespace station {

namespace {

// The name is passed to the system as it stands, in its ANSI code page, which is how a
// Windows path from the list gets to UTF-16. Only a regular file counts: a folder, a FIFO
// or a device under a listed name is a file that cannot be opened.
bool opensForReading(const std::string& path) {
  if (path.empty()) return false;
  std::FILE* f = platform::openRegularFile(path);
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace

std::vector<std::string> splitCopyListLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

void pruneCopyList(std::vector<std::string>& items) {
  // Last to first, so that removing an item leaves the positions still to visit alone.
  for (size_t i = items.size(); i-- > 0;) {
    if (!opensForReading(items[i])) items.erase(items.begin() + static_cast<long>(i));
  }
}

std::vector<std::string> loadCopyList(const std::string& path) {
  std::vector<std::string> items;
  std::FILE* f = platform::openRegularFile(path);
  if (!f) return items;
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  items = splitCopyListLines(text);
  pruneCopyList(items);
  return items;
}

bool saveCopyList(const std::string& path, const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += item + "\r\n";
  return platform::writeFileReplacing(path, text);
}

}  // namespace station

#include "station/texts/fsm_version.h"

#include <cstdio>

#include "platform/file_read.h"

namespace station {

std::string fsmVersionText(const std::string& path) {
  std::FILE* f = platform::openRegularFile(path);
  if (!f) return kUnknownFsmVersion;
  char buf[255];
  size_t n = 0;
  if (std::fseek(f, 8192, SEEK_SET) == 0) n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  if (n < 3 || buf[0] != 'F' || buf[1] != 'S' || buf[2] != 'M') return kUnknownFsmVersion;
  size_t len = 0;
  while (len < n && buf[len] != '\0') ++len;
  return std::string(buf, len);
}

std::string stationBuildDate() { return __DATE__; }

std::string windowCaption(const std::string& title, const std::string& buildDate,
                          const std::string& fsmVersion) {
  return title + " (" + buildDate + ") + " + fsmVersion;
}

}  // namespace station

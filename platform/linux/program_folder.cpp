#include "platform/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

std::string programFolder() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) {
      std::string path(buf.data(), static_cast<size_t>(n));
      size_t slash = path.rfind('/');
      if (slash == std::string::npos) return {};
      return slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    buf.resize(buf.size() * 2);  // the name may have been cut: try a larger buffer
  }
}

std::string operatorFilePath(std::string_view name) {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return std::string(name);
  std::string h = home;
  return (h.back() == '/' ? h : h + "/") + std::string(name);
}

}  // namespace platform

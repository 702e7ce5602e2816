#include "platform/program_folder.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string programFolder() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      std::string path(buf.data(), n);
      size_t sep = path.find_last_of("\\/");
      return sep == std::string::npos ? std::string() : path.substr(0, sep);
    }
    buf.resize(buf.size() * 2);  // cut at the buffer's end: try a larger one
  }
}

std::string operatorFilePath(std::string_view name) { return "d:\\" + std::string(name); }

}  // namespace platform

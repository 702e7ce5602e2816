#include "platform/file_replace.h"

#include <cstdio>
#include <filesystem>

namespace platform {

std::string temporaryFor(const std::string& path) { return path + ".tmp"; }

bool replaceThroughTemporary(const std::string& path,
                             const std::function<bool(const std::string& temporary)>& fill) {
  const std::string temp = temporaryFor(path);
  std::error_code ec;
  std::filesystem::remove(temp, ec);  // left by a writer that was killed
  if (fill(temp) && replaceFile(temp, path)) return true;
  std::filesystem::remove(temp, ec);
  return false;
}

bool writeFileReplacing(const std::string& path, std::string_view bytes) {
  return replaceThroughTemporary(path, [&](const std::string& temp) {
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
  });
}

}  // namespace platform

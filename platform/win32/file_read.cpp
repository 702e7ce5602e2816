#include "platform/file_read.h"

#include <windows.h>

#include <io.h>

namespace platform {

std::FILE* openRegularFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  // A device or a pipe opened under a file's name is not the operator's file.
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  if (GetFileType(h) != FILE_TYPE_DISK) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

std::optional<uint64_t> regularFileSize(const std::string& path) {
  std::FILE* f = openRegularFile(path);
  if (!f) return std::nullopt;
  std::optional<uint64_t> size;
  if (_fseeki64(f, 0, SEEK_END) == 0) {
    long long end = _ftelli64(f);
    if (end >= 0) size = static_cast<uint64_t>(end);
  }
  std::fclose(f);
  return size;
}

}  // namespace platform

#include "platform/profile_services.h"

#include <windows.h>

namespace platform {

namespace {

// The services answer a missing file like a missing key: ask the file system first.
bool readable(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::string wholeValue(const std::string& path, const std::string& section,
                       const std::string& key) {
  std::vector<char> buf(256);
  for (;;) {
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf.data(),
                                       static_cast<DWORD>(buf.size()), path.c_str());
    // n == size - 1 means the value may have been cut: try a larger buffer.
    if (n + 1 < buf.size() || buf.size() >= 65536) return std::string(buf.data(), n);
    buf.resize(buf.size() * 4);
  }
}

// The services look for a bare file name in the Windows folder; the file system in the
// current one. A full path makes both read the same file.
std::string fullPath(const std::string& path) {
  char buf[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : path;
}

}  // namespace

std::string profileString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& defaultValue) {
  char buf[2048];
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buf,
                                     sizeof buf, path.c_str());
  return std::string(buf, n < sizeof buf ? n : sizeof buf - 1);
}

bool writeProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         0;
}

std::optional<std::vector<std::string>> profileSection(const std::string& path,
                                                       const std::string& section,
                                                       const std::vector<std::string>& keys) {
  const std::string file = fullPath(path);
  if (!readable(file)) return std::nullopt;
  std::vector<std::string> values;
  values.reserve(keys.size());
  for (const std::string& key : keys) values.push_back(wholeValue(file, section, key));
  return values;
}

}  // namespace platform

// Windows reads lang.ini through the system's own profile services, as every other
// settings file there; the values come back as the file's bytes (GBK, Big5 included).
#ifdef _WIN32

#include <windows.h>

#include <vector>

#include "station/texts/lang_file.h"

namespace station {

namespace {

// The services answer a missing file like a missing key: ask the file system first.
bool readable(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::string profileValue(const std::string& path, const std::string& section,
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

std::optional<std::vector<std::string>> readLangSection(const std::string& path,
                                                        const std::string& section,
                                                        const std::vector<std::string>& keys) {
  const std::string file = fullPath(path);
  if (!readable(file)) return std::nullopt;
  std::vector<std::string> values;
  values.reserve(keys.size());
  for (const std::string& key : keys) values.push_back(profileValue(file, section, key));
  return values;
}

}  // namespace station

#endif

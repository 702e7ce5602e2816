// Windows keeps its own profile-file services; they are the reference our store follows.
#ifdef _WIN32

#include "station/settings/profile.h"

#include <windows.h>

namespace station {

std::string getProfileString(const std::string& path, const std::string& section,
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

}  // namespace station

#endif

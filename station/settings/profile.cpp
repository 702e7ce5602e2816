// Systems without the profile-file services use our own store.
#ifndef _WIN32

#include "station/settings/profile.h"

#include "station/settings/profile_store.h"

namespace station {

std::string getProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultValue) {
  return profile_store::readFile(path, section, key, defaultValue);
}

bool writeProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
  return profile_store::writeFile(path, section, key, value);
}

}  // namespace station

#endif

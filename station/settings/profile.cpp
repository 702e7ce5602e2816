// Windows keeps its own profile-file services (the reference our store follows); other
// systems use our store.
#include "station/settings/profile.h"

#include "platform/profile_services.h"
#include "station/settings/profile_store.h"

namespace station {

std::string getProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultValue) {
  if constexpr (platform::kHaveProfileServices)
    return platform::profileString(path, section, key, defaultValue);
  else
    return profile_store::readFile(path, section, key, defaultValue);
}

bool writeProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
  if constexpr (platform::kHaveProfileServices)
    return platform::writeProfileString(path, section, key, value);
  else
    return profile_store::writeFile(path, section, key, value);
}

}  // namespace station

// The system's profile-file (INI) services, where it has them: Windows'
// GetPrivateProfileStringA / WritePrivateProfileStringA. Elsewhere the station keeps its own
// store with their semantics (station/settings/profile_store.h), and these calls are never
// made (callers branch on kHaveProfileServices at compile time).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace platform {

inline constexpr bool kHaveProfileServices = kWindows;

// A value as the services read it (at most 2047 characters), `defaultValue` when absent.
std::string profileString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& defaultValue);
// False when the file cannot be written.
bool writeProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);
// The values of `keys` in `section` as the file's bytes, however long ("" for a missing
// one); nothing when the file cannot be read. The file is named by its full path, since
// the services look for a bare name in the Windows folder.
std::optional<std::vector<std::string>> profileSection(const std::string& path,
                                                       const std::string& section,
                                                       const std::vector<std::string>& keys);

}  // namespace platform

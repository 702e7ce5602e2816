// Profile (INI) files with the semantics of the Windows profile-file services: section and
// key names case-insensitive, values trimmed, the default when absent, reads limited to
// 2047 characters; a write replaces the value in place, appends the key at the end of its
// section or the section at the end of the file, and keeps every other line. On Windows
// these are GetPrivateProfileStringA / WritePrivateProfileStringA themselves.
#pragma once

#include <string>

namespace station {

std::string getProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultValue);

// False when the file cannot be written.
bool writeProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace station

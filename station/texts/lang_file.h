// Reading one section of the language file: the iniparser library on Linux, the profile
// services on Windows (lang_profile.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace station {

// The values of `keys` in `section` ("" for a missing one), looked up without regard to
// letter case; nullopt when the file cannot be read.
std::optional<std::vector<std::string>> readLangSection(const std::string& path,
                                                        const std::string& section,
                                                        const std::vector<std::string>& keys);

}  // namespace station

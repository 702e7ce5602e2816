// Reading one section of the language file: the profile services where the system has them
// (Windows), else the iniparser library (lang_iniparser.cpp).
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

// The same through iniparser, where the build has it.
std::optional<std::vector<std::string>> readIniparserSection(const std::string& path,
                                                             const std::string& section,
                                                             const std::vector<std::string>& keys);

}  // namespace station

#include <iniparser.h>

#include "station/texts/lang_file.h"

namespace station {

namespace {

// The library reports unreadable files on stderr; a missing file is no error here.
int quiet(const char*, ...) { return 0; }

}  // namespace

std::optional<std::vector<std::string>> readIniparserSection(const std::string& path,
                                                             const std::string& section,
                                                             const std::vector<std::string>& keys) {
  iniparser_set_error_callback(quiet);
  dictionary* dict = iniparser_load(path.c_str());
  if (!dict) return std::nullopt;
  std::vector<std::string> values;
  values.reserve(keys.size());
  for (const std::string& key : keys) {
    std::string full = section + ":" + key;
    const char* v = iniparser_getstring(dict, full.c_str(), nullptr);
    values.emplace_back(v ? v : "");
  }
  iniparser_freedict(dict);
  return values;
}

}  // namespace station

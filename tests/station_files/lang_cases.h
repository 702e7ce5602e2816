// A table of lang.ini files and the texts each must give, for either reader.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch.h"
#include "station/texts/lang.h"

namespace station_files_test {

struct LoadCase {
  const char* name;
  const char* file;  // nullptr: no lang.ini
  std::uint16_t langId;
  bool loaded;
  std::vector<std::pair<station::LangText, std::string>> expected;
};

template <std::size_t N>
void expectLoads(const LoadCase (&cases)[N]) {
  std::string dir = freshDir();
  for (const LoadCase& c : cases) {
    std::string path = join(dir, "lang.ini");
    std::filesystem::remove(path);
    if (c.file) writeBytes(path, c.file);
    station::LanguageTable t;
    EXPECT_EQ(t.load(path, c.langId), c.loaded) << c.name;
    for (const auto& [id, text] : c.expected) {
      EXPECT_EQ(t.text(id), text) << c.name << ": " << station::langEnglish(id);
    }
  }
}

}  // namespace station_files_test

// lang.ini reading on arbitrary files, for each of the three sections, with every text
// decoded as the window shows it.
#include <cstdint>
#include <string>

#include "fuzz/sandbox.h"
#include "platform/system_language.h"
#include "station/texts/lang.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::sandbox() + "/lang.ini";
  fuzz::writeFile(path, data, size);
  for (std::uint16_t id : {platform::kLangIdEnglishUS, platform::kLangIdChinesePRC,
                           platform::kLangIdChineseTaiwan}) {
    station::LanguageTable table;
    table.load(path, id);
    for (std::size_t i = 0; i < station::kLangTextCount; ++i)
      table.windowText(static_cast<station::LangText>(i));
  }
  return 0;
}

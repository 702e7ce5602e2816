#include "platform/system_language.h"

#include <cstdlib>

namespace platform {

std::uint16_t systemDefaultLangId() {
  if (const char* forced = std::getenv("TARN_LANGID"); forced && *forced) {
    char* end = nullptr;
    unsigned long id = std::strtoul(forced, &end, 0);
    if (end && *end == '\0' && id <= 0xFFFF) return static_cast<std::uint16_t>(id);
  }
  // The POSIX order of precedence for message texts.
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return langIdFromLocale(value);
  }
  return kLangIdEnglishUS;
}

}  // namespace platform

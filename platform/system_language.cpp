#include "platform/system_language.h"

namespace platform {

std::uint16_t langIdFromLocale(std::string_view locale) {
  // Language and territory only: "zh_CN.GB18030@stroke" is still zh_CN.
  std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  if (name == "zh_CN") return kLangIdChinesePRC;
  if (name == "zh_TW") return kLangIdChineseTaiwan;
  return kLangIdEnglishUS;
}

}  // namespace platform

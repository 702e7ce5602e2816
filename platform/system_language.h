// The system's default language identifier (a Windows LANGID such as 0x0804), which picks
// the language of the station's texts. Windows: GetSystemDefaultLangID. Linux: the locale
// (LC_ALL, LC_MESSAGES, LANG, first one set), overridden by TARN_LANGID ("0x0804" or
// "2052") so that tests and demos can play a Chinese system.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

inline constexpr std::uint16_t kLangIdEnglishUS = 0x0409;
inline constexpr std::uint16_t kLangIdChinesePRC = 0x0804;
inline constexpr std::uint16_t kLangIdChineseTaiwan = 0x0404;

std::uint16_t systemDefaultLangId();

// Locale name ("zh_CN.UTF-8", "zh_TW", "en_US") to identifier: zh_CN and zh_TW map to the
// two Chinese identifiers, everything else to US English.
std::uint16_t langIdFromLocale(std::string_view locale);

}  // namespace platform

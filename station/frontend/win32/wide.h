// Texts for the wide-character window services: the station's texts are UTF-8 (the
// language table decodes GBK and Big5 into it), the window takes UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace station::win32 {

// Invalid sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
// `codePage`: CP_UTF8 (65001) unless the system's 8-bit spelling is wanted (CP_ACP, 0).
std::string narrow(std::wstring_view wide, unsigned codePage = 65001);

}  // namespace station::win32

// Texts for the wide-character window services: the station's texts are UTF-8 (the
// language table decodes GBK and Big5 into it), the window takes UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace station::win32 {

// Invalid sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

}  // namespace station::win32

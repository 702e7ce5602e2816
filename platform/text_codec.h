// Turning texts stored in a system code page into UTF-8 for the window: the language
// file keeps Chinese texts in GBK or Big5, as the Chinese editions of Windows store them.
// POSIX: iconv; Windows: MultiByteToWideChar.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace platform {

enum class CodePage {
  Latin1,  // ISO 8859-1 (ASCII texts pass unchanged)
  Gbk,     // code page 936, Simplified Chinese
  Big5,    // code page 950, Traditional Chinese
  System,  // the system's own: file paths (Windows: the ANSI code page; POSIX: UTF-8)
};

// A volume label's bytes: the system's code page on Windows (what the volume takes),
// Latin-1 elsewhere.
inline constexpr CodePage kVolumeLabelCodePage = kWindows ? CodePage::System : CodePage::Latin1;

// Bytes that are not valid in the code page become U+FFFD, one per byte.
std::string toUtf8(std::string_view bytes, CodePage codePage);
// UTF-8 into the code page; nothing when a character has no spelling there.
std::optional<std::string> fromUtf8(std::string_view utf8, CodePage codePage);

}  // namespace platform

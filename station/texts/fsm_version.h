// The version text of the flash setup manager image, shown in the window caption.
#pragma once

#include <string>

#include "platform/program_folder.h"

namespace station {

inline const std::string kFsmBinPath = platform::miscPath("FSM.BIN");

inline constexpr char kUnknownFsmVersion[] = "Unknown FSM Ver.";

// The bytes from offset 8192 up to the first 0 (at most 255) when they begin with "FSM";
// "Unknown FSM Ver." when the file is missing, too short or carries no such text.
std::string fsmVersionText(const std::string& path = kFsmBinPath);

// The day the station was built, as the compiler gives it ("Mar 11 2009").
std::string stationBuildDate();

// TitleStr, " (", the build date, ") + " and the version text, joined as they are.
std::string windowCaption(const std::string& title, const std::string& buildDate,
                          const std::string& fsmVersion);

}  // namespace station

// The copy list file seting.ini: one path per line, every listed file goes onto each
// player. Not an INI file despite its name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/program_folder.h"

namespace station {

inline const std::string kSetingIniPath = platform::miscPath("seting.ini");

// Lines of a text broken by CR, LF or CR LF; a break at the very end opens no empty line.
std::vector<std::string> splitCopyListLines(std::string_view text);

// The listed paths, less those whose files cannot be opened for reading (in their order);
// empty when the file is missing.
std::vector<std::string> loadCopyList(const std::string& path);

// Drops the entries whose files cannot be opened for reading, keeping the others' order.
void pruneCopyList(std::vector<std::string>& items);

// One path per line, each ending in CR LF, in place of the file's whole content (written
// aside and then moved in, never half-written). False when it cannot be written.
bool saveCopyList(const std::string& path, const std::vector<std::string>& items);

}  // namespace station

// Names on a FAT volume as the system gives them: the long name in UTF-16, the short
// (8.3) name with its "~N" tail, and the checksum that ties the two together.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace platform::fatnames {

using ShortName = std::array<uint8_t, 11>;  // "NAME    EXT"

// The name as UTF-16, or nothing when no FAT volume can hold it: not UTF-8, a character
// the system forbids in names, a trailing dot or space, longer than 255.
std::optional<std::u16string> longName(const std::string& utf8);

// Equal but for the case of ASCII letters, as the system compares names.
bool sameName(const std::u16string& a, const std::u16string& b);

// "NAME.EXT" as a short entry spells it.
std::u16string shortDisplay(const uint8_t* raw);

uint8_t shortChecksum(const uint8_t* raw);

// The short name the system would give: upper case, spaces and leading dots dropped,
// characters a short name cannot hold as '_', eight and three characters, and a "~N" tail
// unless the name already was a short name (in any case) that no other file has.
ShortName shortNameFor(const std::u16string& name, const std::set<ShortName>& taken);

}  // namespace platform::fatnames

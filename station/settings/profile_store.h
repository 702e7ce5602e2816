// Our own store with the profile-file rules, for systems without the Windows services.
// It works on the file's bytes in memory, so the rules can be checked without files.
// Lines are taken the way the services take them: ended by CR, LF or CR LF alike, blanks
// trimmed; "[name]" up to the last "]" opens a section, other non-blank
// lines are entries "name=value" (or a bare name, which has no value); entries before the
// first section belong to the section named "". The first matching section and, in it,
// the first matching entry count; names match without regard to ASCII letter case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace station::profile_store {

// Longest text a read gives back (the services' 2048-byte buffer less its terminator).
inline constexpr std::size_t kReadLimit = 2047;

// The entry's value without surrounding blanks, or `defaultValue` (less trailing spaces)
// when the section, the entry or its "=" is missing; one pair of matching quotes around
// the text is dropped; at most kReadLimit characters.
std::string read(std::string_view content, std::string_view section, std::string_view key,
                 std::string_view defaultValue);

// The content after setting the entry: its value replaced in place, or the entry added
// after the last non-blank line of its section, or the section added at the end. Every
// other byte stays as it was.
std::string write(std::string_view content, std::string_view section, std::string_view key,
                  std::string_view value);

// The same on a file: a missing file reads as empty and is created by a write. False
// when the file cannot be read or written.
std::string readFile(const std::string& path, std::string_view section, std::string_view key,
                     std::string_view defaultValue);
bool writeFile(const std::string& path, std::string_view section, std::string_view key,
               std::string_view value);

}  // namespace station::profile_store

// info.txt: the encrypted partition's description, kept beside the tool by the
// secure-partition sub-commands. Four lines: total size, encrypted size (bytes, signed
// decimal), user name, password (one word each, empty when absent).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devcmd {

inline constexpr size_t kInfoFieldMax = 15;  // the stored fields hold 15 characters

struct PartitionInfo {
  int32_t totalSize = 0;
  int32_t encryptedSize = 0;
  std::string user;
  std::string password;
};

// Read as white-space separated items: two numbers and up to two words; items that are
// missing or not where a number belongs leave their defaults. Null when a word is longer
// than its field.
std::optional<PartitionInfo> parsePartitionInfo(std::string_view text);

// Null when the file cannot be read or does not fit the fields.
std::optional<PartitionInfo> readPartitionInfo(const std::string& path);

// Only the first number (the total size); null when the file cannot be read.
std::optional<int32_t> readTotalSize(const std::string& path);

// Replaces the file whole (written beside it, then renamed), so that another run reading
// it at the same time sees the old or the new contents, never half of one.
bool writePartitionInfo(const std::string& path, const PartitionInfo& info);

// A user name or password that can be stored and read back as itself.
bool fitsField(std::string_view word);

}  // namespace devcmd

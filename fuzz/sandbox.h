// What the fuzz targets share: a private folder for the files a parser reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// A folder of this process's own, made on first use and kept for the whole run.
const std::string& sandbox();

// Replaces `path` with exactly these bytes.
void writeFile(const std::string& path, std::string_view bytes);
void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace fuzz

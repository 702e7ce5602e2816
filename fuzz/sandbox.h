// What the fuzz targets share: a private folder for the files a parser reads, and the
// switch for checks whose faults are known and being mended elsewhere.
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

// True when TARN_FUZZ_STRICT is set: inputs that reach a known, not yet mended fault are
// run too instead of being set aside (the reproducers under fuzz/repro/ run this way).
bool strict();

}  // namespace fuzz

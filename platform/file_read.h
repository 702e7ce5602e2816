// Reading the operator's and the station's files. Only regular files are read: a FIFO, a
// device node or a folder under a listed name is a file that cannot be opened, and finding
// that out never waits (opening a FIFO for reading would block until a writer came).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// A regular file opened for binary reading, or null (errno ENOENT when nothing is there).
std::FILE* openRegularFile(const std::string& path);

// The length of a regular file, or nullopt when it is missing or not a regular file.
std::optional<uint64_t> regularFileSize(const std::string& path);

}  // namespace platform

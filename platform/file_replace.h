// Putting a finished file in place of another in one step, so that a reader (or a crash)
// sees either the old or the new content, never half of it. Windows: MoveFileExA with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; POSIX: fsync, then rename.
#pragma once

#include <string>

namespace platform {

// Moves `from` over `to`; false (and `from` left where it was) when that cannot be done.
bool replaceFile(const std::string& from, const std::string& to);

}  // namespace platform

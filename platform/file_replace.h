// Putting a finished file in place of another in one step, so that a reader (or a crash)
// sees either the old or the new content, never half of it. Windows: MoveFileExA with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; POSIX: fsync, then rename.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace platform {

// Windows refuses, for a moment, to replace a file that another process has open: how many
// times such a move is worth trying, 10 ms apart.
inline constexpr int kReplaceAttempts = kWindows ? 100 : 1;

// Moves `from` over `to`; false (and `from` left where it was) when that cannot be done.
bool replaceFile(const std::string& from, const std::string& to);

// The temporary a replacement of `path` is written into first: "<path>.tmp".
std::string temporaryFor(const std::string& path);

// Writes `path` through its temporary: any stale temporary is removed, `fill` writes the
// temporary (given its name), which then replaces `path`. False, with `path` as it was
// and no temporary left, when `fill` or the move fails.
bool replaceThroughTemporary(const std::string& path,
                             const std::function<bool(const std::string& temporary)>& fill);

// `bytes` as the whole new content of `path`, through its temporary.
bool writeFileReplacing(const std::string& path, std::string_view bytes);

}  // namespace platform

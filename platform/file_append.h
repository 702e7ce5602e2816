// Appending to a file that one writer at a time holds exclusively: the trace file that
// every thread (and any other program looking at it) shares. Windows opens it with no
// sharing (CreateFileA, share mode 0); POSIX takes an exclusive flock on it.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class AppendResult {
  Written,
  Busy,    // another writer holds the file right now: worth trying again
  Failed,  // cannot be created, opened or written
};

// Creates the file when missing, opens it exclusively, writes `bytes` at its end in one
// piece and closes it again; nothing is kept open between calls.
AppendResult appendExclusive(const std::string& path, std::string_view bytes);

// Appends `line` and "\n" to the file (created when missing), after a "\n" of its own when
// the file's last byte is not one (a tail torn by a crash ends its own line). A write cut
// short is taken back, so the file gains the whole line or stays as it was. Unlocked: for
// files that one process writes at a time.
bool appendWholeLine(const std::string& path, std::string_view line);

}  // namespace platform

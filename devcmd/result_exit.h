// The one way out of devcmd. Exit values are 32 bits wide (packed flash IDs, capacities)
// but a POSIX exit status keeps only 8; there a caller that needs the whole value names
// a descriptor in DEVCMD_RESULT_FD and reads it as decimal text.
#pragma once

#include <cstdint>

#include "base/tool_environment.h"

namespace devcmd {

inline constexpr const char* kResultFdVariable = tarn::kResultChannelVariable;

// Writes "<value>\n" to the descriptor named by `fdText` (a decimal number); nothing
// when it is null, not a number or not open. True when the text was written.
bool reportResult(const char* fdText, uint32_t value);

// Flushes standard output, reports the value and returns the process exit status: the
// whole value on Windows, its low 8 bits elsewhere.
int finish(uint32_t value);

}  // namespace devcmd

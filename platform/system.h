// Which system this build is for, for the facts the seams state about it (constants that
// name what differs, never the system itself, in code above platform/).
#pragma once

namespace platform {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

}  // namespace platform

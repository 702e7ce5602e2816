// The folder that holds the running program file, whatever the current directory is.
// Windows: GetModuleFileNameA; Linux: /proc/self/exe.
#pragma once

#include <string>

namespace platform {

// Without a trailing separator; empty when the system cannot tell.
std::string programFolder();

// The separator of the system's paths ("\\" on Windows, "/" elsewhere).
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace platform

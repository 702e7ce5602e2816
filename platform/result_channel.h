// The whole 32-bit exit value of our tools (packed flash IDs, port codes, capacities).
// Windows: the exit code carries it. POSIX: an exit status keeps only the low 8 bits, so
// the value also goes as decimal text to the descriptor the launcher names in the
// environment (base/tool_environment.h). Header-only: the tools link no platform library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <cerrno>
#include <climits>
#include <unistd.h>
#endif

namespace platform {

// Writes "<value>\n" to the descriptor named by `fdText` (a decimal number); nothing when
// it is null, not a number or not open, and nothing on Windows. True when it was written.
inline bool writeResultChannel(const char* fdText, uint32_t value) {
#ifdef _WIN32
  (void)fdText;
  (void)value;
  return false;
#else
  if (fdText == nullptr || *fdText == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long fd = std::strtol(fdText, &end, 10);
  if (errno != 0 || *end != '\0' || fd < 0 || fd > INT_MAX) return false;
  char line[16];
  const int n = std::snprintf(line, sizeof line, "%u\n", static_cast<unsigned>(value));
  ssize_t written;
  do {
    written = ::write(static_cast<int>(fd), line, static_cast<size_t>(n));
  } while (written < 0 && errno == EINTR);
  return written == n;
#endif
}

// The process exit status that carries as much of `value` as the system keeps.
inline int exitStatusFor(uint32_t value) {
#ifdef _WIN32
  return static_cast<int>(value);
#else
  return static_cast<int>(value & 0xFFu);
#endif
}

}  // namespace platform

#include "devcmd/result_exit.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <cerrno>
#include <climits>
#include <unistd.h>
#endif

namespace devcmd {

bool reportResult(const char* fdText, uint32_t value) {
#ifdef _WIN32
  (void)fdText;
  (void)value;
  return false;  // the exit code itself carries all 32 bits
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

int finish(uint32_t value) {
  std::fflush(stdout);
#ifdef _WIN32
  return static_cast<int>(value);
#else
  reportResult(std::getenv(kResultFdVariable), value);
  return static_cast<int>(value & 0xFFu);
#endif
}

}  // namespace devcmd

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "devcmd/devcmd.h"

namespace devcmd {

void Output::print(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(again);
    write(std::string_view(small, static_cast<size_t>(n)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, again);
  va_end(again);
  write(std::string_view(big.data(), static_cast<size_t>(n)));
}

void StdoutOutput::write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace devcmd

#include "devcmd/result_exit.h"

#include <cstdio>
#include <cstdlib>

#include "platform/result_channel.h"

namespace devcmd {

bool reportResult(const char* fdText, uint32_t value) {
  return platform::writeResultChannel(fdText, value);
}

int finish(uint32_t value) {
  std::fflush(stdout);
  reportResult(std::getenv(kResultFdVariable), value);
  return platform::exitStatusFor(value);
}

}  // namespace devcmd

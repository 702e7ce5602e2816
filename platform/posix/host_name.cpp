#include "platform/host_name.h"

#include <unistd.h>

namespace platform {

std::string hostName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) == 0) return buf;
  return {};
}

}  // namespace platform

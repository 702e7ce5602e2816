#include "platform/host_name.h"

#include <windows.h>

namespace platform {

std::string hostName() {
  char buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = sizeof buf;
  if (GetComputerNameA(buf, &n)) return std::string(buf, n);
  return {};
}

}  // namespace platform

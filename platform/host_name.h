// The machine's name. Windows: GetComputerNameA; POSIX: gethostname.
#pragma once

#include <string>

namespace platform {

// Empty when the system cannot tell.
std::string hostName();

}  // namespace platform

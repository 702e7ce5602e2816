// This process's id, for names of things under construction. Header-only: the device tool
// links no platform library.
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace platform {

inline unsigned long processId() {
#ifdef _WIN32
  return static_cast<unsigned long>(_getpid());
#else
  return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace platform

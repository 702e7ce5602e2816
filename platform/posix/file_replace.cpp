#include "platform/file_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

bool replaceFile(const std::string& from, const std::string& to) {
  // The new content must be on disk before the name points at it.
  int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = fsync(fd) == 0;
  close(fd);
  if (!synced) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform

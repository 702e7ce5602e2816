#include "platform/file_append.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

AppendResult appendExclusive(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return AppendResult::Failed;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? AppendResult::Busy : AppendResult::Failed;
  }
  AppendResult result = AppendResult::Written;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      result = AppendResult::Failed;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  close(fd);  // also drops the lock
  return result;
}

}  // namespace platform

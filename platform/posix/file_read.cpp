#include "platform/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// Opened without waiting, then judged by what was opened, so nothing can be swapped in
// between a look and the open.
int openRegular(const std::string& path, struct stat& st) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;  // there, but not a file to read
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::FILE* openRegularFile(const std::string& path) {
  struct stat st;
  int fd = openRegular(path, st);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) ::close(fd);
  return f;
}

std::optional<uint64_t> regularFileSize(const std::string& path) {
  struct stat st;
  int fd = openRegular(path, st);
  if (fd < 0) return std::nullopt;
  ::close(fd);
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace platform

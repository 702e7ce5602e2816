#include "platform/file_append.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

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

namespace {

bool endsWithLineEnd(const std::string& p) {
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  char c = '\n';
  struct stat st {};
  if (fstat(fd, &st) == 0 && st.st_size > 0) (void)!::pread(fd, &c, 1, st.st_size - 1);
  ::close(fd);
  return c == '\n';
}

}  // namespace

bool appendWholeLine(const std::string& path, std::string_view line) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat st {};
  const long long before = fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  std::string bytes = (before > 0 && !endsWithLineEnd(path) ? "\n" : "") + std::string(line) + "\n";
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool whole = done == bytes.size();
  if (!whole && before >= 0) (void)!::ftruncate(fd, before);
  return ::close(fd) == 0 && whole;
}

}  // namespace platform

#include "platform/file_append.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace platform {

AppendResult appendExclusive(const std::string& path, std::string_view bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION ? AppendResult::Busy
                                                                          : AppendResult::Failed;
  }
  AppendResult result = AppendResult::Written;
  if (SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    result = AppendResult::Failed;
  }
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (result == AppendResult::Written && left > 0) {
    DWORD written = 0;
    DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) {
      result = AppendResult::Failed;
      break;
    }
    p += written;
    left -= written;
  }
  CloseHandle(h);
  return result;
}

namespace {

bool endsWithLineEnd(const std::string& p) {
  int fd = _open(p.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return true;
  char c = '\n';
  if (_lseeki64(fd, -1, SEEK_END) >= 0) (void)_read(fd, &c, 1);
  _close(fd);
  return c == '\n';
}

}  // namespace

bool appendWholeLine(const std::string& path, std::string_view line) {
  int fd = _open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  const long long before = _lseeki64(fd, 0, SEEK_END);
  std::string bytes = (before > 0 && !endsWithLineEnd(path) ? "\n" : "") + std::string(line) + "\n";
  size_t done = 0;
  while (done < bytes.size()) {
    int n = _write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool whole = done == bytes.size();
  if (!whole && before >= 0) (void)_chsize_s(fd, before);
  return _close(fd) == 0 && whole;
}

}  // namespace platform

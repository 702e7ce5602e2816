#include "station/records/journal.h"

#include <cerrno>
#include <cstdio>
#include <fstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace station::records {

namespace {

#ifdef _WIN32
using Fd = int;
Fd openAppend(const std::string& p) {
  return _open(p.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long long sizeOf(Fd fd) { return _lseeki64(fd, 0, SEEK_END); }
long writeSome(Fd fd, const char* p, size_t n) {
  return _write(fd, p, static_cast<unsigned>(n));
}
bool endsWithLineEnd(const std::string& p) {
  int fd = _open(p.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return true;
  char c = '\n';
  if (_lseeki64(fd, -1, SEEK_END) >= 0) (void)_read(fd, &c, 1);
  _close(fd);
  return c == '\n';
}
void truncateTo(Fd fd, long long size) { (void)_chsize_s(fd, size); }
bool closeFd(Fd fd) { return _close(fd) == 0; }
#else
using Fd = int;
Fd openAppend(const std::string& p) {
  return ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}
long long sizeOf(Fd fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}
long writeSome(Fd fd, const char* p, size_t n) { return static_cast<long>(::write(fd, p, n)); }
bool endsWithLineEnd(const std::string& p) {
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  char c = '\n';
  struct stat st {};
  if (fstat(fd, &st) == 0 && st.st_size > 0) (void)!::pread(fd, &c, 1, st.st_size - 1);
  ::close(fd);
  return c == '\n';
}
void truncateTo(Fd fd, long long size) { (void)!::ftruncate(fd, size); }
bool closeFd(Fd fd) { return ::close(fd) == 0; }
#endif

}  // namespace

bool appendJournalLine(const std::string& path, const std::string& line) {
  Fd fd = openAppend(path);
  if (fd < 0) return false;
  long long before = sizeOf(fd);
  // A tail torn by a crash or a full disk ends its own line: the record after it must
  // not be glued to the fragment and set aside with it.
  std::string bytes = (before > 0 && !endsWithLineEnd(path) ? "\n" : "") + line + "\n";
  size_t done = 0;
  while (done < bytes.size()) {
    long n = writeSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool whole = done == bytes.size();
  if (!whole && before >= 0) truncateTo(fd, before);
  return closeFd(fd) && whole;
}

bool forEachJournalRecord(const std::string& path,
                          const std::function<void(ProductionRecord&&)>& fn, size_t* bad) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe) std::fclose(probe);
    return probe == nullptr && errno == ENOENT;  // no journal is an empty one
  }
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::optional<ProductionRecord> r = fromJson(line);
    if (!r) {
      if (bad) ++*bad;
      continue;
    }
    fn(std::move(*r));
  }
  return true;
}

}  // namespace station::records

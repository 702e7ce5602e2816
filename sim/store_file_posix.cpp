#include "sim/store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarnsim {

namespace {
int fd(intptr_t handle) { return static_cast<int>(handle); }
}  // namespace

bool StoreFile::open(const std::string& path, OpenMode mode) {
  close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Existing: flags |= O_RDWR; break;
    case OpenMode::Create: flags |= O_RDWR | O_CREAT; break;
    case OpenMode::Append: flags |= O_RDWR | O_APPEND | O_CREAT; break;
    case OpenMode::Reading: flags |= O_RDONLY; break;
    case OpenMode::Fresh: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
  }
  int fd;
  do fd = ::open(path.c_str(), flags, 0644);
  while (fd < 0 && errno == EINTR);
  handle_ = fd;
  return fd >= 0;
}

bool StoreFile::isOpen() const { return fd(handle_) >= 0; }

void StoreFile::close() {
  if (mapped_) ::munmap(mapped_, mappedSize_);
  mapped_ = nullptr;
  if (fd(handle_) >= 0) ::close(fd(handle_));
  handle_ = -1;
}

bool StoreFile::writeAt(uint64_t offset, const void* data, size_t n) {
  auto p = static_cast<const char*>(data);
  while (n) {
    ssize_t w = ::pwrite(fd(handle_), p, n, off_t(offset));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w, n -= size_t(w), offset += uint64_t(w);
  }
  return true;
}

size_t StoreFile::readAt(uint64_t offset, void* out, size_t n) {
  auto p = static_cast<char*>(out);
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::pread(fd(handle_), p + got, n - got, off_t(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += size_t(r);
  }
  return got;
}

bool StoreFile::append(const void* data, size_t n) {
  auto p = static_cast<const char*>(data);
  while (n) {
    ssize_t w = ::write(fd(handle_), p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w, n -= size_t(w);
  }
  return true;
}

bool StoreFile::truncate(uint64_t size) { return ::ftruncate(fd(handle_), off_t(size)) == 0; }

int64_t StoreFile::size() {
  struct stat st;
  return ::fstat(fd(handle_), &st) == 0 ? int64_t(st.st_size) : -1;
}

bool StoreFile::lock() {
  int r;
  do r = ::flock(fd(handle_), LOCK_EX);
  while (r < 0 && errno == EINTR);
  return r == 0;
}

void StoreFile::unlock() { ::flock(fd(handle_), LOCK_UN); }

void* StoreFile::map(size_t n) {
  if (mapped_) return mappedSize_ >= n ? mapped_ : nullptr;
  if (size() < int64_t(n)) return nullptr;
  void* m = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED, fd(handle_), 0);
  if (m == MAP_FAILED) return nullptr;
  mapped_ = m;
  mappedSize_ = n;
  return m;
}

unsigned long currentProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace tarnsim

// Windows: every opener shares reading, writing and deleting, so devcmd runs, tarnsim and
// the station can hold one player's files at once and a player folder can be renamed.
//
// The lock is a byte range far past any data, so that it excludes only other lockers
// (a Windows lock is mandatory for the bytes it covers; readers of the events file take
// none). Under Wine this lock lives in the Wine server and does not meet a Linux flock():
// a Linux tarnsim and a Windows devcmd.exe must not change one player at the same moment.
// Tests use the Windows tarnsim.exe beside devcmd.exe, or run the two one after the other.
#include "sim/store_file.h"

#include <windows.h>

namespace tarnsim {
namespace {

constexpr DWORD kLockOffsetHigh = 0x40000000;  // byte 2^62

HANDLE h(intptr_t p) { return reinterpret_cast<HANDLE>(p); }

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = DWORD(offset);
  o.OffsetHigh = DWORD(offset >> 32);
  return o;
}

// ReadFile/WriteFile take at most a DWORD a call.
constexpr size_t kMaxCall = 1u << 30;

}  // namespace

bool StoreFile::open(const std::string& path, OpenMode mode) {
  close();
  DWORD access = 0, disposition = 0;
  switch (mode) {
    case OpenMode::Existing: access = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_EXISTING; break;
    case OpenMode::Create: access = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_ALWAYS; break;
    // No write access but appending: every write lands at the end, whoever else writes.
    case OpenMode::Append: access = GENERIC_READ | FILE_APPEND_DATA, disposition = OPEN_ALWAYS; break;
    case OpenMode::Reading: access = GENERIC_READ, disposition = OPEN_EXISTING; break;
    case OpenMode::Fresh: access = GENERIC_WRITE, disposition = CREATE_ALWAYS; break;
  }
  HANDLE f = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  handle_ = reinterpret_cast<intptr_t>(f);
  return f != INVALID_HANDLE_VALUE;
}

bool StoreFile::isOpen() const { return h(handle_) != INVALID_HANDLE_VALUE; }

void StoreFile::close() {
  if (isOpen()) CloseHandle(h(handle_));
  handle_ = -1;
}

bool StoreFile::writeAt(uint64_t offset, const void* data, size_t n) {
  auto p = static_cast<const char*>(data);
  while (n) {
    OVERLAPPED o = at(offset);
    DWORD done = 0;
    DWORD want = DWORD(n < kMaxCall ? n : kMaxCall);
    if (!WriteFile(h(handle_), p, want, &done, &o) || done == 0) return false;
    p += done, n -= done, offset += done;
  }
  return true;
}

size_t StoreFile::readAt(uint64_t offset, void* out, size_t n) {
  auto p = static_cast<char*>(out);
  size_t got = 0;
  while (got < n) {
    OVERLAPPED o = at(offset + got);
    DWORD done = 0;
    DWORD want = DWORD(n - got < kMaxCall ? n - got : kMaxCall);
    if (!ReadFile(h(handle_), p + got, want, &done, &o) || done == 0) break;
    got += done;
  }
  return got;
}

bool StoreFile::append(const void* data, size_t n) {
  auto p = static_cast<const char*>(data);
  while (n) {
    DWORD done = 0;
    DWORD want = DWORD(n < kMaxCall ? n : kMaxCall);
    if (!WriteFile(h(handle_), p, want, &done, nullptr) || done == 0) return false;
    p += done, n -= done;
  }
  return true;
}

bool StoreFile::truncate(uint64_t size) {
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(size);
  return SetFilePointerEx(h(handle_), to, nullptr, FILE_BEGIN) && SetEndOfFile(h(handle_));
}

int64_t StoreFile::size() {
  LARGE_INTEGER s;
  return GetFileSizeEx(h(handle_), &s) ? int64_t(s.QuadPart) : -1;
}

bool StoreFile::lock() {
  OVERLAPPED o = at(uint64_t(kLockOffsetHigh) << 32);
  return LockFileEx(h(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &o) != 0;
}

void StoreFile::unlock() {
  OVERLAPPED o = at(uint64_t(kLockOffsetHigh) << 32);
  UnlockFileEx(h(handle_), 0, 1, 0, &o);
}

void* StoreFile::map(size_t) { return nullptr; }

unsigned long currentProcessId() { return GetCurrentProcessId(); }

}  // namespace tarnsim

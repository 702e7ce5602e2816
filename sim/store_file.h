// One file of a player's store and the few OS calls the store makes on it: open, read and
// write at an offset, append, truncate, an exclusive lock and a shared mapping. POSIX:
// open/pread/pwrite, flock and mmap (store_file_posix.cpp). Windows: CreateFile with
// ReadFile/WriteFile at an offset and LockFileEx; no mapping (store_file_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnsim {

enum class OpenMode {
  Existing,  // read and write a file that must be there
  Create,    // read and write, created when missing
  Append,    // read, and write only at the end; created when missing
  Reading,   // read only, must be there
  Fresh,     // write only, created or emptied
};

class StoreFile {
 public:
  StoreFile() = default;
  ~StoreFile() { close(); }
  StoreFile(const StoreFile&) = delete;
  StoreFile& operator=(const StoreFile&) = delete;

  bool open(const std::string& path, OpenMode mode);
  bool isOpen() const;
  void close();

  bool writeAt(uint64_t offset, const void* data, size_t n);
  // The bytes read before the end of the file or an error.
  size_t readAt(uint64_t offset, void* out, size_t n);
  // Appends the whole of `data` after what is there now (Append and Create files).
  bool append(const void* data, size_t n);
  bool truncate(uint64_t size);
  // -1 when the size cannot be asked.
  int64_t size();

  // Exclusive, blocking, for every opener of the file in any process of this OS.
  bool lock();
  void unlock();

  // The first `n` bytes shared read-write with every other opener, or null where the
  // platform does not map (the caller then reads and writes).
  void* map(size_t n);

 private:
  // The system's handle of the open file (a POSIX descriptor, a Windows HANDLE); -1 for none.
  intptr_t handle_ = -1;
  void* mapped_ = nullptr;  // POSIX only
  size_t mappedSize_ = 0;
};

// This process's id, for names of things under construction.
unsigned long currentProcessId();

}  // namespace tarnsim

#include "platform/file_append.h"

#include <windows.h>

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

}  // namespace platform

#include "platform/process.h"

namespace platform {

WindowsStartParams windowsStartParams(ChildWindow window) {
  if (window == ChildWindow::Hidden) return {kHighPriorityClass, kStartfUseShowWindow, kSwHide};
  return {kCreateNoWindow | kHighPriorityClass, 0, 0};
}

bool parseResultChannel(const std::string& text, uint32_t& value) {
  uint64_t v = 0;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    v = v * 10 + static_cast<uint64_t>(text[i] - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  if (digits == 0) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace platform

#include "platform/text_codec.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

UINT windowsCodePage(CodePage cp) {
  switch (cp) {
    case CodePage::Gbk: return 936;
    case CodePage::Big5: return 950;
    case CodePage::System: return CP_ACP;
    case CodePage::Latin1: break;
  }
  return 28591;
}

}  // namespace

std::string toUtf8(std::string_view bytes, CodePage codePage) {
  if (bytes.empty()) return {};
  int size = static_cast<int>(bytes.size());
  UINT cp = windowsCodePage(codePage);
  int wide = MultiByteToWideChar(cp, 0, bytes.data(), size, nullptr, 0);
  if (wide <= 0) return std::string(bytes);
  std::vector<wchar_t> w(static_cast<size_t>(wide));
  MultiByteToWideChar(cp, 0, bytes.data(), size, w.data(), wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

std::optional<std::string> fromUtf8(std::string_view utf8, CodePage codePage) {
  if (utf8.empty()) return std::string();
  const int size = static_cast<int>(utf8.size());
  const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (wide <= 0) return std::nullopt;
  std::vector<wchar_t> w(static_cast<size_t>(wide));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, w.data(), wide);
  const UINT cp = windowsCodePage(codePage);
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, w.data(), wide, nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, w.data(), wide, out.data(), n, nullptr, &lossy);
  if (lossy) return std::nullopt;
  return out;
}

}  // namespace platform

#include "platform/text_codec.h"

#include <iconv.h>

#include <cerrno>

namespace platform {

namespace {

const char* iconvName(CodePage cp) {
  switch (cp) {
    case CodePage::Gbk: return "GBK";
    case CodePage::Big5: return "BIG5";
    case CodePage::System: return "UTF-8";
    case CodePage::Latin1: break;
  }
  return "ISO-8859-1";
}

}  // namespace

std::string toUtf8(std::string_view bytes, CodePage codePage) {
  iconv_t cd = iconv_open("UTF-8", iconvName(codePage));
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string out;
  char buf[1024];
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      // EILSEQ, or EINVAL for a sequence cut at the end: mark the byte and go on.
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::optional<std::string> fromUtf8(std::string_view utf8, CodePage codePage) {
  iconv_t cd = iconv_open(iconvName(codePage), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  char buf[1024];
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  bool whole = true;
  while (inLeft > 0 && whole) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    const size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) whole = false;
  }
  iconv_close(cd);
  if (!whole) return std::nullopt;
  return out;
}

}  // namespace platform

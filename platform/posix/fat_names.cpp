#include "platform/posix/fat_names.h"

#include <algorithm>
#include <cstring>

namespace platform::fatnames {

std::optional<std::u16string> longName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
    return std::nullopt;
  std::u16string out;
  for (size_t i = 0; i < name.size();) {
    auto b = static_cast<uint8_t>(name[i]);
    int more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0 || i + more >= name.size() + (more ? 0 : 1)) return std::nullopt;
    uint32_t cp = more == 0 ? b : b & (0x3F >> more);
    for (int k = 1; k <= more; ++k) {
      auto c = static_cast<uint8_t>(name[i + k]);
      if ((c & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return std::nullopt;
    if (cp < 0x20 || (cp < 0x80 && std::strchr("\"*/:<>?\\|", static_cast<int>(cp))))
      return std::nullopt;
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<size_t>(more) + 1;
  }
  if (out.size() > 255) return std::nullopt;
  return out;
}

namespace {

char16_t upper(char16_t c) { return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c; }

}  // namespace

bool sameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

std::u16string shortDisplay(const uint8_t* raw) {
  std::u16string s;
  for (int i = 0; i < 8 && raw[i] != ' '; ++i) s.push_back(i == 0 && raw[0] == 0x05 ? 0xE5 : raw[i]);
  if (raw[8] != ' ') s.push_back('.');
  for (int i = 8; i < 11 && raw[i] != ' '; ++i) s.push_back(raw[i]);
  return s;
}

uint8_t shortChecksum(const uint8_t* raw) {
  uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + raw[i]);
  return sum;
}

ShortName shortNameFor(const std::u16string& name, const std::set<ShortName>& taken) {
  auto shortChar = [](char16_t c, bool& lossy) -> char {
    c = upper(c);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        (c < 0x80 && std::strchr("$%'-_@~`!(){}^#&", c)))
      return static_cast<char>(c);
    lossy = true;
    return '_';
  };
  bool lossy = false;
  size_t start = name.find_first_not_of(u'.');
  size_t dot = name.find_last_of(u'.');
  if (dot == std::u16string::npos || dot < start) dot = name.size();
  lossy = start != 0;
  std::string base, ext;
  for (size_t i = start; i < dot; ++i) {
    if (name[i] == ' ' || name[i] == '.') {
      lossy = true;
      continue;
    }
    base.push_back(shortChar(name[i], lossy));
  }
  for (size_t i = dot + 1; i < name.size(); ++i) {
    if (name[i] == ' ') {
      lossy = true;
      continue;
    }
    ext.push_back(shortChar(name[i], lossy));
  }
  if (base.size() > 8 || ext.size() > 3) lossy = true;
  if (base.empty()) base = "_";
  ext.resize(std::min<size_t>(ext.size(), 3));
  auto spell = [&](const std::string& b) {
    ShortName raw;
    raw.fill(' ');
    std::memcpy(raw.data(), b.data(), std::min<size_t>(b.size(), 8));
    std::memcpy(raw.data() + 8, ext.data(), ext.size());
    return raw;
  };
  if (!lossy && !taken.count(spell(base))) return spell(base);
  for (unsigned n = 1;; ++n) {
    std::string tail = "~" + std::to_string(n);
    ShortName raw = spell(base.substr(0, 8 - tail.size()) + tail);
    if (!taken.count(raw) || n == 999999) return raw;
  }
}

}  // namespace platform::fatnames

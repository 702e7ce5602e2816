#include "devcmd/info_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/file_replace.h"
#include "platform/process_id.h"

namespace devcmd {
namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void skipSpace() {
    while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
  }

  // Optional sign and digits; false (nothing taken) when no digit follows.
  bool number(int32_t& out) {
    skipSpace();
    size_t p = pos_;
    bool negative = false;
    if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) negative = text_[p++] == '-';
    if (p >= text_.size() || text_[p] < '0' || text_[p] > '9') return false;
    uint32_t v = 0;
    for (; p < text_.size() && text_[p] >= '0' && text_[p] <= '9'; ++p)
      v = v * 10u + static_cast<uint32_t>(text_[p] - '0');
    pos_ = p;
    out = static_cast<int32_t>(negative ? 0u - v : v);
    return true;
  }

  bool word(std::string& out) {
    skipSpace();
    const size_t start = pos_;
    while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
    if (pos_ == start) return false;
    out.assign(text_.substr(start, pos_ - start));
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

std::optional<std::string> slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return s.str();
}

}  // namespace

bool fitsField(std::string_view word) {
  if (word.size() > kInfoFieldMax) return false;
  for (char c : word)
    if (isSpace(c)) return false;
  return true;
}

std::optional<PartitionInfo> parsePartitionInfo(std::string_view text) {
  PartitionInfo info;
  Scanner s(text);
  if (s.number(info.totalSize) && s.number(info.encryptedSize) && s.word(info.user))
    s.word(info.password);
  if (info.user.size() > kInfoFieldMax || info.password.size() > kInfoFieldMax)
    return std::nullopt;
  return info;
}

std::optional<PartitionInfo> readPartitionInfo(const std::string& path) {
  const std::optional<std::string> text = slurp(path);
  if (!text) return std::nullopt;
  return parsePartitionInfo(*text);
}

std::optional<int32_t> readTotalSize(const std::string& path) {
  const std::optional<std::string> text = slurp(path);
  if (!text) return std::nullopt;
  int32_t total = 0;
  Scanner(*text).number(total);
  return total;
}

bool writePartitionInfo(const std::string& path, const PartitionInfo& info) {
  static std::atomic<unsigned> serial{0};
  const std::string temp = path + "." + std::to_string(platform::processId()) + "." +
                           std::to_string(serial++) + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "w");  // text mode: the platform's line ends
  if (f == nullptr) return false;
  const bool written = std::fprintf(f, "%d\n%d\n%s\n%s\n", static_cast<int>(info.totalSize),
                                    static_cast<int>(info.encryptedSize), info.user.c_str(),
                                    info.password.c_str()) > 0;
  const bool closed = std::fclose(f) == 0;
  std::error_code ec;
  if (written && closed) {
    for (int attempt = 0; attempt < platform::kReplaceAttempts; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::filesystem::rename(temp, path, ec);
      if (!ec) return true;
    }
  }
  std::filesystem::remove(temp, ec);
  return false;
}

}  // namespace devcmd

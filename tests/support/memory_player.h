// A simulated player's storage in memory, and CDBs written as hex: for the tests of the
// device model and of its faces.
#pragma once

#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/device_model.h"

namespace tarnsim::test {

inline std::vector<uint8_t> hexBytes(const std::string& text) {
  std::vector<uint8_t> out;
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) out.push_back(uint8_t(std::stoul(pair, nullptr, 16)));
  return out;
}

inline std::string hexText(const std::vector<uint8_t>& b) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < b.size(); ++i) {
    if (i) s += ' ';
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  return s;
}

class MemoryStorage : public DeviceStorage {
 public:
  std::vector<std::string> trace;
  std::map<Stream, std::vector<uint8_t>> streams;
  std::optional<uint64_t> userArea = uint64_t(256) << 20;

  void record(const uint8_t* cdb, size_t n, bool out, uint32_t length) override {
    trace.push_back(hexText(std::vector<uint8_t>(cdb, cdb + n)) + (out ? " out " : " in ") +
                    std::to_string(length));
  }
  bool clear(Stream s) override {
    streams[s].clear();
    return true;
  }
  bool write(Stream s, uint64_t offset, const uint8_t* data, size_t n) override {
    std::vector<uint8_t>& b = streams[s];
    if (b.size() < offset + n) b.resize(offset + n);
    std::copy(data, data + n, b.begin() + long(offset));
    return true;
  }
  void read(Stream s, uint64_t offset, uint8_t* out, size_t n) override {
    const std::vector<uint8_t>& b = streams[s];
    for (size_t i = 0; i < n; ++i) out[i] = offset + i < b.size() ? b[offset + i] : 0;
  }
  std::optional<uint64_t> userAreaBytes() override { return userArea; }
};

}  // namespace tarnsim::test

#include "station/records/journal.h"

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "platform/file_append.h"

namespace station::records {

bool appendJournalLine(const std::string& path, const std::string& line) {
  return platform::appendWholeLine(path, line);
}

bool forEachJournalRecord(const std::string& path,
                          const std::function<void(ProductionRecord&&)>& fn, size_t* bad) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe) std::fclose(probe);
    return probe == nullptr && errno == ENOENT;  // no journal is an empty one
  }
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::optional<ProductionRecord> r = fromJson(line);
    if (!r) {
      if (bad) ++*bad;
      continue;
    }
    fn(std::move(*r));
  }
  return true;
}

}  // namespace station::records

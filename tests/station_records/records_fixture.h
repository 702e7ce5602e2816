// Scratch folders and made-up records for the records tests and benchmarks.
#pragma once

#include "station/records/record.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace station::records::testing {

namespace fs = std::filesystem;

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name) {
    path_ = fs::temp_directory_path() /
            ("tarn_rec_" + name + "_" + std::to_string(std::random_device{}() % 100000000));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// A plausible record; `n` makes it distinct (time, slot, port).
inline ProductionRecord sampleRecord(int n, const std::string& station = "line-1") {
  ProductionRecord r;
  r.id = newRecordId();
  r.station = station;
  r.slot = n % 8;
  r.drive = std::string(1, static_cast<char>('E' + n % 8));
  r.port = "1-" + std::to_string(1 + n % 8);
  char t[32];
  std::snprintf(t, sizeof t, "2026-12-08T%02d:%02d:%02d.000Z", 6 + (n / 3600) % 12, (n / 60) % 60,
                n % 60);
  r.startedAt = t;
  t[20] = '5';
  r.endedAt = t;
  r.success = n % 10 != 3;
  if (!r.success) {
    r.failedStep = "program";
    r.failText = "Program Writing fail";
  }
  r.flashId = n % 2 ? 0xECD35195 : 0x98D79432;
  r.chipCount = 1 + n % 2;
  r.chipVariant = 1;
  r.capacityMib = 256;
  r.fileSystem = "FAT32";
  r.label = "MY_AUDIO";
  r.files = {{"table", "FT_EC_D3_51_95.txt", "1A2B3C4D"}, {"firmware", "program.bin", "00FF00FF"}};
  r.settings = {{"chkFormat", "0"}, {"chkFwUpgrade", "1"}};
  r.steps = {{"start", 201.5}, {"manager", 312.0}, {"program", 1200.25}, {"end", 3.0}};
  return r;
}

}  // namespace station::records::testing

// Scratch folders and made-up records for the records tests and benchmarks.
#pragma once

#include "station/records/record.h"
#include "support/temp_folder.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace station::records::testing {

namespace fs = std::filesystem;

// A scratch folder whose files are named `dir / "name"`.
class ScratchDir : public tarn::testing::TempFolder {
 public:
  explicit ScratchDir(const std::string& name) : TempFolder("tarn_rec_" + name) {}
  std::string operator/(const std::string& name) const { return file(name); }
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

// One production record: what became of one player in one run, made when the run is
// tallied. Its JSON form (one object, one line in the journal) is the exchange format of
// the whole records subsystem; the database keeps the searchable fields in columns beside it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace station::records {

struct StepTime {
  std::string step;  // a short fixed name: "manager", "program", "format", ...
  double ms = 0;
  bool operator==(const StepTime&) const = default;
};

struct FileMark {
  std::string role;  // "manager", "table", "firmware", "prefer", "iso"
  std::string name;  // the file name (no folder)
  std::string crc32; // 8 hex digits of the file's CRC-32; empty when it could not be read
  bool operator==(const FileMark&) const = default;
};

struct ProductionRecord {
  std::string id;         // 32 hex digits, unique across stations
  std::string station;
  int slot = -1;          // 0..7
  std::string drive;      // "E"
  std::string port;       // "hub-port", empty when slot discovery never succeeded
  std::string startedAt;  // UTC, "2026-12-08T21:59:23.123Z"
  std::string endedAt;
  bool success = false;
  bool unreset = false;          // an already finished player, counted as a success
  bool removed = false;          // pulled out during its run: neither a success nor a step's fault
  std::string failedStep;        // empty on success
  std::string failText;          // the row's red text
  uint32_t flashId = 0;
  uint32_t chipCount = 0;        // the flash item count
  std::optional<uint32_t> chipVariant;
  uint32_t capacityMib = 0;      // 0 when the run did not get that far
  std::string fileSystem;        // "FAT16", "FAT32" or empty
  std::string label;
  std::vector<FileMark> files;
  std::map<std::string, std::string> settings;
  std::vector<StepTime> steps;   // in the order the run took them

  bool operator==(const ProductionRecord&) const = default;
};

// "success", "fail" or "removed": the record's result as every form of it says it.
const char* resultOf(const ProductionRecord& record);

// Compact one-line JSON, and back; nothing (and `error` set) for text that is not a record.
std::string toJson(const ProductionRecord& record);
std::optional<ProductionRecord> fromJson(const std::string& line, std::string* error = nullptr);
// Indented JSON for a reader.
std::string toPrettyJson(const ProductionRecord& record);

// A fresh random identifier.
std::string newRecordId();
// Now, UTC with milliseconds.
std::string utcNow();
// The flash identification as 8 hex digits.
std::string hex8(uint32_t value);

// The CSV form: one header line, one line per record (RFC 4180 quoting, CR LF).
std::string csvHeader();
std::string csvLine(const ProductionRecord& record);

}  // namespace station::records

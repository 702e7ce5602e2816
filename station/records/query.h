// What the tools ask of the records: which ones (a filter) and how they went (yield overall,
// per hour, per port and per flash identification, failures per step).
#pragma once

#include "station/records/record.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace station::records {

// The fields that filters and statistics look at, read without the whole record.
struct StatRow {
  std::string id;
  std::string startedAt;
  bool success = false;
  std::string port;
  uint32_t flashId = 0;
  std::string failedStep;
  bool removed = false;
};
StatRow statRowOf(const ProductionRecord& record);

struct Filter {
  std::string from;  // start time at or after (any leading part: "2026-12-08", "2026-12-08T06")
  std::string to;    // start time before
  std::optional<std::string> result;  // "success", "fail" or "removed"
  std::optional<std::string> port;  // "hub-port"; "" for runs whose port was never found
  std::optional<uint32_t> flashId;
  bool matches(const StatRow& row) const;
};

// A time as given on a command line ("2026-12-08 06:00") in the records' form; empty when
// it is not a date or date and time.
std::string normalizeTime(const std::string& text);

struct Tally {
  int64_t total = 0;
  int64_t success = 0;
  int64_t removed = 0;  // pulled out during the run: not the player's fault, not a success
  int64_t fail() const { return total - success - removed; }
  double yield() const { return total ? 100.0 * static_cast<double>(success) / static_cast<double>(total) : 0.0; }
  bool operator==(const Tally&) const = default;
};

// A step's name as the operator saw it fail: the English row text of that step
// ("prefer" is "Prefer Writing"); a key it does not know stays as it is.
std::string stepTitle(const std::string& step);

struct Stats {
  Tally overall;
  bool wantStations = false;        // fill `stations` too (a walk of every matching record)
  std::set<std::string> stations;
  bool localHours = false;          // `perHour` in the machine's zone, not UTC
  std::map<std::string, Tally> perHour;   // "2026-12-08T06"
  std::map<std::string, Tally> perPort;   // "1-3", "-" when not found
  std::map<std::string, Tally> perFlash;  // 8 hex digits
  std::map<std::string, int64_t> failuresPerStep;
  void add(const StatRow& row);
  // `runs` runs alike in these fields; `hour` is the start time's first 13 characters,
  // `result` "success", "fail" or "removed".
  void addGroup(const std::string& hour, const std::string& result, const std::string& port,
                uint32_t flashId, const std::string& failedStep, int64_t runs);
};

// The statistics as text tables.
std::string formatStats(const Stats& stats);

// A record's time ("2026-12-08T06", any leading part) moved from UTC to the machine's zone
// (`toLocal`) or back; as many characters as it had.
std::string shiftTime(const std::string& time, bool toLocal);
// The hours of `stats` in the machine's zone.
void hoursToLocal(Stats& stats);

}  // namespace station::records

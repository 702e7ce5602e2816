#include "station/records/source.h"

#include "station/records/journal.h"

#ifdef TARN_HAVE_SQLITE
#include "station/records/database.h"
#endif

#include <filesystem>
#include <iterator>
#include <set>
#include <unordered_map>

namespace station::records {

namespace {

using JournalRecords = std::unordered_map<std::string, ProductionRecord>;
using Order = std::vector<std::string>;

bool readJournals(const Sources& s, JournalRecords& records, Order& order, std::string* error) {
  for (const std::string& path : s.journals) {
    bool ok = forEachJournalRecord(path, [&](ProductionRecord&& r) {
      if (records.count(r.id)) return;
      order.push_back(r.id);
      records.emplace(r.id, std::move(r));
    });
    if (!ok) {
      if (error) *error = "cannot read " + path;
      return false;
    }
  }
  return true;
}

// Runs `db` over the database when there is one; the journal records it also holds are
// dropped from `journal`.
template <class F>
bool withDatabase(const Sources& s, std::string* error, F&& db) {
  if (s.database.empty()) return true;
  std::error_code ec;
  if (!std::filesystem::exists(s.database, ec)) return true;
#ifdef TARN_HAVE_SQLITE
  RecordDatabase::Options options;
  options.readOnly = true;
  std::string why;
  auto base = RecordDatabase::open(s.database, &why, options);
  if (!base || !db(*base)) {
    if (error) *error = s.database + ": " + (base ? base->lastError() : why);
    return false;
  }
  return true;
#else
  (void)db;
  if (error) *error = s.database + ": this build reads journals only";
  return false;
#endif
}

}  // namespace

bool haveDatabase() {
#ifdef TARN_HAVE_SQLITE
  return true;
#else
  return false;
#endif
}

bool forEachRecord(const Sources& s, const std::function<void(ProductionRecord&&)>& fn,
                   std::string* error, size_t* damaged) {
  JournalRecords journal;
  Order order;
  if (!readJournals(s, journal, order, error)) return false;
  bool ok = withDatabase(s, error, [&](auto& base) {
    return base.forEach(
        [&](ProductionRecord&& r, int64_t) {
          if (!journal.empty()) journal.erase(r.id);
          fn(std::move(r));
        },
        0, -1, damaged);
  });
  if (!ok) return false;
  for (const std::string& id : order) {
    auto it = journal.find(id);
    if (it != journal.end()) fn(std::move(it->second));
  }
  return true;
}

bool forEachStatRow(const Sources& s, const std::function<void(const StatRow&)>& fn,
                    std::string* error) {
  JournalRecords journal;
  Order order;
  if (!readJournals(s, journal, order, error)) return false;
  bool ok = withDatabase(s, error, [&](auto& base) {
    return base.forEachStatRow([&](const StatRow& row) {
      if (!journal.empty()) journal.erase(row.id);
      fn(row);
    });
  });
  if (!ok) return false;
  for (const std::string& id : order) {
    auto it = journal.find(id);
    if (it != journal.end()) fn(statRowOf(it->second));
  }
  return true;
}

bool collectStats(const Sources& s, const Filter& filter, Stats& stats, std::string* error) {
  JournalRecords journal;
  Order order;
  if (!readJournals(s, journal, order, error)) return false;
  bool ok = withDatabase(s, error, [&](auto& base) {
    for (auto it = journal.begin(); it != journal.end();)
      it = base.contains(it->first) ? journal.erase(it) : std::next(it);
    return base.tally(filter, stats);
  });
  if (!ok) return false;
  for (const std::string& id : order) {
    auto it = journal.find(id);
    if (it == journal.end()) continue;
    StatRow row = statRowOf(it->second);
    if (!filter.matches(row)) continue;
    stats.add(row);
    if (stats.wantStations) stats.stations.insert(it->second.station);
  }
  return true;
}

std::optional<ProductionRecord> findRecord(const Sources& s, const std::string& id,
                                           std::string* error, bool* damaged) {
  std::optional<ProductionRecord> found;
  bool ok = withDatabase(s, error, [&](auto& base) {
    found = base.find(id, damaged);
    return true;
  });
  if (!ok || found) return found;
  for (const std::string& path : s.journals)
    forEachJournalRecord(path, [&](ProductionRecord&& r) {
      if (!found && r.id == id) found = std::move(r);
    });
  if (found || id.empty()) return found;
  // The first digits of one id, as a person types them.
  std::set<std::string> ids;
  withDatabase(s, nullptr, [&](auto& base) {
    for (std::string& match : base.idsStartingWith(id, 2)) ids.insert(std::move(match));
    return true;
  });
  for (const std::string& path : s.journals)
    forEachJournalRecord(path, [&](ProductionRecord&& r) {
      if (r.id.compare(0, id.size(), id) == 0 && ids.size() < 3) ids.insert(r.id);
    });
  if (ids.size() == 1) return findRecord(s, *ids.begin(), error, damaged);
  if (ids.size() > 1 && error) *error = id + " begins more than one record's id";
  return std::nullopt;
}

}  // namespace station::records

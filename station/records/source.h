// Where the tools read records from: the station's database and any number of journals
// (the Windows station's record, or records that have not moved into the database yet).
// A record found in more than one of them is read once.
#pragma once

#include "station/records/query.h"
#include "station/records/record.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace station::records {

struct Sources {
  std::string database;               // empty or missing: none
  std::vector<std::string> journals;  // missing files are empty journals
};

// Whether this build keeps records in a database (not on Windows, where SQLite is not
// packaged for the cross compiler).
bool haveDatabase();

// `damaged`: counts the database's records whose JSON could not be read; they are given
// from the database's columns, as statistics count them.
bool forEachRecord(const Sources& sources, const std::function<void(ProductionRecord&&)>& fn,
                   std::string* error, size_t* damaged = nullptr);
// The same, reading only the columns that statistics need from the database.
bool forEachStatRow(const Sources& sources, const std::function<void(const StatRow&)>& fn,
                    std::string* error);
// The statistics of the records that pass `filter`; the database counts its own.
bool collectStats(const Sources& sources, const Filter& filter, Stats& stats, std::string* error);
// `id` may be the first digits of one record's id; when they begin more than one, nothing,
// and `error` says so.
std::optional<ProductionRecord> findRecord(const Sources& sources, const std::string& id,
                                           std::string* error, bool* damaged = nullptr);

}  // namespace station::records

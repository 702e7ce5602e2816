// The append-only journal: one JSON record per line. It takes a record when the database
// cannot, and it is the station's record where there is no database (the Windows build).
#pragma once

#include "station/records/record.h"

#include <functional>
#include <string>

namespace station::records {

// Appends `line` and a line end. A line that cannot be written whole (a full disk) is
// taken back, so the journal never holds half a line; false then.
bool appendJournalLine(const std::string& path, const std::string& line);

// Calls `fn` for each record of the journal in order; lines that are not records are
// skipped and counted in `bad`. False when the journal exists but cannot be read.
bool forEachJournalRecord(const std::string& path,
                          const std::function<void(ProductionRecord&&)>& fn,
                          size_t* bad = nullptr);

}  // namespace station::records

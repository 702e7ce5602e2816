#include "station/records/store.h"

#include "station/records/journal.h"

#ifdef TARN_HAVE_SQLITE
#include "station/records/database.h"
#endif

#include <cstdio>
#include <filesystem>

namespace station::records {

RecordStore::RecordStore(StoreOptions options) : options_(std::move(options)) {}
RecordStore::~RecordStore() = default;

bool RecordStore::toDatabase(const std::vector<ProductionRecord>& records) {
#ifdef TARN_HAVE_SQLITE
  if (options_.databasePath.empty()) return false;
  if (!db_) {
    RecordDatabase::Options o;
    o.busyTimeoutMs = options_.busyTimeoutMs;
    db_ = RecordDatabase::open(options_.databasePath, nullptr, o);
    if (!db_) return false;
  }
  if (db_->insert(records) >= 0) return true;
  // A connection that failed on a full disk or a damaged file is opened afresh next time.
  db_.reset();
  return false;
#else
  (void)records;
  return false;
#endif
}

Kept RecordStore::add(const ProductionRecord& record) {
  try {
    std::lock_guard<std::mutex> lock(mu_);
    held_.push_back(record);
    return keepHeld();
  } catch (...) {
    return Kept::Memory;  // out of memory: recording gives way, production goes on
  }
}

Kept RecordStore::keepHeld() {
  if (toDatabase(held_)) {
    held_.clear();
    if (journalMayHoldRecords_) moveJournalLocked();
    return Kept::Database;
  }
  journalMayHoldRecords_ = true;  // even a failed append may have left the file
  size_t written = 0;
  while (written < held_.size() &&
         appendJournalLine(options_.journalPath, toJson(held_[written])))
    ++written;
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(written));
  return held_.empty() ? Kept::Journal : Kept::Memory;
}

size_t RecordStore::close() {
  std::lock_guard<std::mutex> lock(mu_);
  try {
    if (!held_.empty()) keepHeld();
  } catch (...) {
  }
#ifdef TARN_HAVE_SQLITE
  db_.reset();  // the last connection's close checkpoints the log into the file
#endif
  return held_.size();
}

bool RecordStore::moveJournal() {
  std::lock_guard<std::mutex> lock(mu_);
  return moveJournalLocked();
}

bool RecordStore::moveJournalLocked() {
#ifdef TARN_HAVE_SQLITE
  namespace fs = std::filesystem;
  const std::string& journal = options_.journalPath;
  std::error_code ec;
  if (options_.databasePath.empty()) return false;
  if (!fs::exists(journal, ec)) {
    journalMayHoldRecords_ = false;
    return true;
  }
  std::vector<ProductionRecord> records;
  size_t bad = 0;
  if (!forEachJournalRecord(journal, [&](ProductionRecord&& r) { records.push_back(std::move(r)); },
                            &bad))
    return false;
  // Ids already in the database are skipped, so a move that was cut short before the
  // journal was emptied counts nothing twice when it is done again.
  if (!records.empty() && !toDatabase(records)) return false;
  if (bad) {
    // Lines that are not records are kept aside for a person to look at, not thrown away.
    fs::rename(journal, journal + ".unreadable-" + newRecordId().substr(0, 8), ec);
  } else {
    fs::remove(journal, ec);
  }
  journalMayHoldRecords_ = static_cast<bool>(ec);
  return !ec;
#else
  return false;
#endif
}

size_t RecordStore::heldInMemory() const {
  std::lock_guard<std::mutex> lock(mu_);
  return held_.size();
}

}  // namespace station::records

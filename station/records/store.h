// The station's side of keeping records: the database when it takes the record, else the
// journal, else memory until one of them takes it again. Records that went to the journal
// move into the database once it can be written again. Thread-safe: the production
// workers of one station share one store.
#pragma once

#include "station/records/record.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace station::records {

#ifdef TARN_HAVE_SQLITE
class RecordDatabase;
#endif

struct StoreOptions {
  std::string databasePath;  // empty: the journal is the record
  std::string journalPath;
  int busyTimeoutMs = 20;    // how long a write waits for another writer of the database
};

enum class Kept { Database, Journal, Memory };

class RecordStore {
 public:
  explicit RecordStore(StoreOptions options);
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Keeps the record (and any held in memory before it). Never throws.
  Kept add(const ProductionRecord& record);
  // Moves the journal's records into the database; the journal is emptied once the
  // database has them all. False when the database cannot take them now.
  bool moveJournal();
  // Records waiting in memory because neither the database nor the journal took them.
  size_t heldInMemory() const;
  // At the station's close: writes what waits in memory and closes the database, so that
  // its write-ahead log is folded into the file. The records that could still not be
  // written (they are lost with the process). The store can be used again afterwards.
  size_t close();
  const StoreOptions& options() const { return options_; }

 private:
  bool toDatabase(const std::vector<ProductionRecord>& records);  // lock held
  bool moveJournalLocked();
  Kept keepHeld();  // lock held

  StoreOptions options_;
  mutable std::mutex mu_;
#ifdef TARN_HAVE_SQLITE
  std::unique_ptr<RecordDatabase> db_;
#endif
  std::vector<ProductionRecord> held_;
  bool journalMayHoldRecords_ = true;  // until a move has emptied it
};

}  // namespace station::records

// The station's record database: SQLite in WAL mode beside the station, one transaction per
// record (or per batch moved in from the journal), a versioned schema brought up to date
// when it is opened. Records are kept whole as JSON with the searched fields in columns.
#pragma once

#include "station/records/query.h"
#include "station/records/record.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace station::records {

inline constexpr int kSchemaVersion = 3;

class RecordDatabase {
 public:
  struct Options {
    bool readOnly = false;
    int busyTimeoutMs = 20;        // how long a write waits for another writer
    int schemaVersion = kSchemaVersion;  // older versions: only for migration tests
  };
  // Nothing (and `error` set) when the file cannot be opened or brought up to date.
  static std::unique_ptr<RecordDatabase> open(const std::string& path, std::string* error);
  static std::unique_ptr<RecordDatabase> open(const std::string& path, std::string* error,
                                              const Options& options);
  ~RecordDatabase();
  RecordDatabase(const RecordDatabase&) = delete;
  RecordDatabase& operator=(const RecordDatabase&) = delete;

  int schemaVersion();
  // All records in one transaction; ids already present are left as they are. The number
  // newly added, or -1 (nothing written, lastError() says why).
  int insert(const std::vector<ProductionRecord>& records);
  // Records after sequence number `afterSeq`, in the order they were added; at most
  // `limit` of them (-1: all). A record whose JSON is damaged is made from its columns
  // (the fields that statistics count) and counted in `damaged`.
  bool forEach(const std::function<void(ProductionRecord&&, int64_t seq)>& fn,
               int64_t afterSeq = 0, int64_t limit = -1, size_t* damaged = nullptr);
  // The same as stored JSON, unparsed.
  bool forEachDoc(const std::function<void(const char* doc, size_t size, int64_t seq)>& fn,
                  int64_t afterSeq = 0, int64_t limit = -1);
  bool forEachStatRow(const std::function<void(const StatRow&)>& fn);
  // The statistics of the records that pass the filter, counted by the database.
  bool tally(const Filter& filter, Stats& stats);
  bool contains(const std::string& id);
  // The ids that begin with `prefix`, at most `limit` of them.
  std::vector<std::string> idsStartingWith(const std::string& prefix, int limit);
  // The id of the record at sequence number `seq`; empty when there is none.
  std::string idAt(int64_t seq);
  std::optional<ProductionRecord> find(const std::string& id, bool* damaged = nullptr);
  int64_t count();

  // How far records were pushed to a target (its sequence number), 0 for none yet.
  int64_t pushMark(const std::string& target);
  bool setPushMark(const std::string& target, int64_t seq);

  const std::string& lastError() const { return error_; }

 private:
  explicit RecordDatabase(sqlite3* db) : db_(db) {}
  bool exec(const char* sql);
  bool migrate(int target);
  sqlite3* db_;
  std::string error_;
};

}  // namespace station::records

#include "station/records/database.h"

#include <sqlite3.h>

#include <cstdlib>

namespace station::records {

namespace {

// Each entry brings a database from the version before it to its own; never edit one that
// has shipped, add the next.
const char* const kMigrations[] = {
    // 1: the records
    "CREATE TABLE records ("
    " seq INTEGER PRIMARY KEY,"
    " id TEXT NOT NULL UNIQUE,"
    " station TEXT NOT NULL, slot INTEGER, drive TEXT, port TEXT,"
    " started TEXT NOT NULL, ended TEXT, result TEXT NOT NULL, failed_step TEXT,"
    " flash_id TEXT, doc TEXT NOT NULL)",
    // 2: ranges of time, and how far each shared database has been given the records
    "CREATE INDEX records_started ON records(started);"
    "CREATE TABLE push_marks (target TEXT PRIMARY KEY, seq INTEGER NOT NULL)",
    // 3: statistics counted from this index alone, in its order, never from the JSON
    "DROP INDEX records_started;"
    "CREATE INDEX records_tally ON records"
    "(substr(started, 1, 13), result, port, flash_id, failed_step, started)",
};
static_assert(sizeof kMigrations / sizeof *kMigrations == kSchemaVersion);

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st_, nullptr); }
  ~Statement() { sqlite3_finalize(st_); }
  explicit operator bool() const { return st_ != nullptr; }
  sqlite3_stmt* get() const { return st_; }
  void text(int i, const std::string& v) {
    sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  std::string column(int i) const {
    const unsigned char* p = sqlite3_column_text(st_, i);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<size_t>(sqlite3_column_bytes(st_, i)))
             : std::string();
  }

 private:
  sqlite3_stmt* st_ = nullptr;
};

}  // namespace

std::unique_ptr<RecordDatabase> RecordDatabase::open(const std::string& path, std::string* error) {
  return open(path, error, Options{});
}

std::unique_ptr<RecordDatabase> RecordDatabase::open(const std::string& path, std::string* error,
                                                     const Options& options) {
  sqlite3* db = nullptr;
  int flags = options.readOnly ? SQLITE_OPEN_READONLY
                               : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<RecordDatabase> self(new RecordDatabase(db));
  sqlite3_busy_timeout(db, options.busyTimeoutMs);
  bool ok = true;
  if (!options.readOnly) {
    // WAL: readers (the tools) never stop the station's writes. NORMAL: a commit survives
    // the program's end; only a power loss may take the last ones.
    ok = self->exec("PRAGMA journal_mode=WAL") && self->exec("PRAGMA synchronous=NORMAL") &&
         self->migrate(options.schemaVersion);
  } else if (int version = self->schemaVersion(); version > kSchemaVersion) {
    self->error_ = "the database is of a newer version";
    ok = false;
  } else if (version <= 0) {
    // An empty file, a database of something else, or no database at all.
    self->error_ = std::string("not a records database (") +
                   (version < 0 ? sqlite3_errmsg(db) : "it has no records table") + ")";
    ok = false;
  }
  if (!ok) {
    if (error) *error = self->error_;
    return nullptr;
  }
  return self;
}

RecordDatabase::~RecordDatabase() { sqlite3_close(db_); }

bool RecordDatabase::exec(const char* sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
  error_ = msg ? msg : sqlite3_errmsg(db_);
  sqlite3_free(msg);
  return false;
}

int RecordDatabase::schemaVersion() {
  Statement st(db_, "PRAGMA user_version");
  return st && sqlite3_step(st.get()) == SQLITE_ROW ? sqlite3_column_int(st.get(), 0) : -1;
}

bool RecordDatabase::migrate(int target) {
  int version = schemaVersion();
  if (version < 0) {
    error_ = sqlite3_errmsg(db_);
    return false;
  }
  if (version > kSchemaVersion) {
    error_ = "the database is of a newer version (" + std::to_string(version) + ")";
    return false;
  }
  while (version < target) {
    // Each step and its version number in one transaction: a half-done step never stays.
    std::string sql = std::string("BEGIN IMMEDIATE;") + kMigrations[version] +
                      ";PRAGMA user_version=" + std::to_string(version + 1) + ";COMMIT";
    if (!exec(sql.c_str())) {
      exec("ROLLBACK");
      return false;
    }
    ++version;
  }
  return true;
}

int RecordDatabase::insert(const std::vector<ProductionRecord>& records) {
  if (!exec("BEGIN IMMEDIATE")) return -1;
  Statement st(db_,
               "INSERT OR IGNORE INTO records (id, station, slot, drive, port, started, ended,"
               " result, failed_step, flash_id, doc) VALUES (?,?,?,?,?,?,?,?,?,?,?)");
  int added = 0;
  bool ok = static_cast<bool>(st);
  for (size_t i = 0; ok && i < records.size(); ++i) {
    const ProductionRecord& r = records[i];
    sqlite3_reset(st.get());
    st.text(1, r.id);
    st.text(2, r.station);
    sqlite3_bind_int(st.get(), 3, r.slot);
    st.text(4, r.drive);
    st.text(5, r.port);
    st.text(6, r.startedAt);
    st.text(7, r.endedAt);
    st.text(8, resultOf(r));
    st.text(9, r.failedStep);
    st.text(10, hex8(r.flashId));
    st.text(11, toJson(r));
    ok = sqlite3_step(st.get()) == SQLITE_DONE;
    added += sqlite3_changes(db_);
  }
  if (!ok || !exec("COMMIT")) {
    if (!ok) error_ = sqlite3_errmsg(db_);
    exec("ROLLBACK");
    return -1;
  }
  return added;
}

namespace {

const char kRecordColumns[] =
    "doc, id, station, slot, drive, port, started, ended, result, failed_step, flash_id";

// The record in the row whose first columns are kRecordColumns; from the columns alone when
// its JSON cannot be read.
ProductionRecord recordOfRow(const Statement& st, int first, bool& damaged) {
  std::optional<ProductionRecord> r = fromJson(st.column(first));
  damaged = !r || r->id != st.column(first + 1);
  if (!damaged) return std::move(*r);
  ProductionRecord c;
  c.id = st.column(first + 1);
  c.station = st.column(first + 2);
  c.slot = sqlite3_column_int(st.get(), first + 3);
  c.drive = st.column(first + 4);
  c.port = st.column(first + 5);
  c.startedAt = st.column(first + 6);
  c.endedAt = st.column(first + 7);
  c.success = st.column(first + 8) == "success";
  c.removed = st.column(first + 8) == "removed";
  c.failedStep = st.column(first + 9);
  c.flashId = static_cast<uint32_t>(std::strtoul(st.column(first + 10).c_str(), nullptr, 16));
  return c;
}

}  // namespace

bool RecordDatabase::forEach(const std::function<void(ProductionRecord&&, int64_t)>& fn,
                             int64_t afterSeq, int64_t limit, size_t* damaged) {
  Statement st(db_, (std::string("SELECT seq, ") + kRecordColumns +
                     " FROM records WHERE seq > ? ORDER BY seq LIMIT ?").c_str());
  if (!st) {
    error_ = sqlite3_errmsg(db_);
    return false;
  }
  sqlite3_bind_int64(st.get(), 1, afterSeq);
  sqlite3_bind_int64(st.get(), 2, limit);
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    bool bad = false;
    ProductionRecord r = recordOfRow(st, 1, bad);
    if (bad && damaged) ++*damaged;
    fn(std::move(r), sqlite3_column_int64(st.get(), 0));
  }
  if (rc != SQLITE_DONE) error_ = sqlite3_errmsg(db_);
  return rc == SQLITE_DONE;
}

bool RecordDatabase::forEachDoc(const std::function<void(const char*, size_t, int64_t)>& fn,
                                int64_t afterSeq, int64_t limit) {
  Statement st(db_, "SELECT seq, doc FROM records WHERE seq > ? ORDER BY seq LIMIT ?");
  if (!st) return false;
  sqlite3_bind_int64(st.get(), 1, afterSeq);
  sqlite3_bind_int64(st.get(), 2, limit);
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    const char* doc = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
    fn(doc ? doc : "", static_cast<size_t>(sqlite3_column_bytes(st.get(), 1)),
       sqlite3_column_int64(st.get(), 0));
  }
  if (rc != SQLITE_DONE) error_ = sqlite3_errmsg(db_);
  return rc == SQLITE_DONE;
}

bool RecordDatabase::forEachStatRow(const std::function<void(const StatRow&)>& fn) {
  Statement st(db_,
               "SELECT id, started, result, port, flash_id, failed_step FROM records ORDER BY seq");
  if (!st) {
    error_ = sqlite3_errmsg(db_);
    return false;
  }
  StatRow row;
  auto text = [&](int i, std::string& out) {
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), i));
    out.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(st.get(), i)));
  };
  std::string result, flash;
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    text(0, row.id);
    text(1, row.startedAt);
    text(2, result);
    row.success = result == "success";
    row.removed = result == "removed";
    text(3, row.port);
    text(4, flash);
    row.flashId = static_cast<uint32_t>(std::strtoul(flash.c_str(), nullptr, 16));
    text(5, row.failedStep);
    fn(row);
  }
  if (rc != SQLITE_DONE) error_ = sqlite3_errmsg(db_);
  return rc == SQLITE_DONE;
}

bool RecordDatabase::tally(const Filter& f, Stats& stats) {
  std::string conditions;
  std::vector<std::string> params;
  auto where = [&](const char* condition, std::string value) {
    conditions += condition;
    params.push_back(std::move(value));
  };
  if (!f.from.empty()) where(" AND started >= ?", f.from);
  if (!f.to.empty()) where(" AND started < ?", f.to);
  if (f.result) where(" AND result = ?", *f.result);
  if (f.port) where(" AND port = ?", *f.port);
  if (f.flashId) where(" AND flash_id = ?", hex8(*f.flashId));
  // Each row of `columns` over the matching records, handed to `row`.
  auto select = [&](const std::string& columns, const std::string& tail, auto row) {
    std::string sql = "SELECT " + columns + " FROM records WHERE 1" + conditions + tail;
    Statement st(db_, sql.c_str());
    if (!st) {
      error_ = sqlite3_errmsg(db_);
      return false;
    }
    for (size_t i = 0; i < params.size(); ++i) st.text(static_cast<int>(i + 1), params[i]);
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) row(st);
    if (rc != SQLITE_DONE) error_ = sqlite3_errmsg(db_);
    return rc == SQLITE_DONE;
  };
  // Grouped as the index is ordered, so SQLite counts while it walks the index.
  const std::string group = "substr(started, 1, 13), result, port, flash_id, failed_step";
  bool ok = select(group + ", count(*)", " GROUP BY " + group, [&](Statement& st) {
    stats.addGroup(st.column(0), st.column(1), st.column(2),
                   static_cast<uint32_t>(std::strtoul(st.column(3).c_str(), nullptr, 16)),
                   st.column(4), sqlite3_column_int64(st.get(), 5));
  });
  if (ok && stats.wantStations)
    ok = select("DISTINCT station", "", [&](Statement& st) { stats.stations.insert(st.column(0)); });
  return ok;
}

bool RecordDatabase::contains(const std::string& id) {
  Statement st(db_, "SELECT 1 FROM records WHERE id = ?");
  if (!st) return false;
  st.text(1, id);
  return sqlite3_step(st.get()) == SQLITE_ROW;
}

std::vector<std::string> RecordDatabase::idsStartingWith(const std::string& prefix, int limit) {
  std::vector<std::string> ids;
  Statement st(db_, "SELECT id FROM records WHERE substr(id, 1, ?) = ? LIMIT ?");
  if (!st) return ids;
  sqlite3_bind_int(st.get(), 1, static_cast<int>(prefix.size()));
  st.text(2, prefix);
  sqlite3_bind_int(st.get(), 3, limit);
  while (sqlite3_step(st.get()) == SQLITE_ROW) ids.push_back(st.column(0));
  return ids;
}

std::string RecordDatabase::idAt(int64_t seq) {
  Statement st(db_, "SELECT id FROM records WHERE seq = ?");
  if (!st) return {};
  sqlite3_bind_int64(st.get(), 1, seq);
  return sqlite3_step(st.get()) == SQLITE_ROW ? st.column(0) : std::string();
}

std::optional<ProductionRecord> RecordDatabase::find(const std::string& id, bool* damaged) {
  Statement st(db_, (std::string("SELECT ") + kRecordColumns + " FROM records WHERE id = ?").c_str());
  if (!st) return std::nullopt;
  st.text(1, id);
  if (sqlite3_step(st.get()) != SQLITE_ROW) return std::nullopt;
  bool bad = false;
  ProductionRecord r = recordOfRow(st, 0, bad);
  if (damaged) *damaged = bad;
  return r;
}

int64_t RecordDatabase::count() {
  Statement st(db_, "SELECT count(*) FROM records");
  return st && sqlite3_step(st.get()) == SQLITE_ROW ? sqlite3_column_int64(st.get(), 0) : -1;
}

int64_t RecordDatabase::pushMark(const std::string& target) {
  Statement st(db_, "SELECT seq FROM push_marks WHERE target = ?");
  if (!st) return 0;
  st.text(1, target);
  return sqlite3_step(st.get()) == SQLITE_ROW ? sqlite3_column_int64(st.get(), 0) : 0;
}

bool RecordDatabase::setPushMark(const std::string& target, int64_t seq) {
  Statement st(db_,
               "INSERT INTO push_marks (target, seq) VALUES (?, ?)"
               " ON CONFLICT(target) DO UPDATE SET seq = excluded.seq");
  if (!st) return false;
  st.text(1, target);
  sqlite3_bind_int64(st.get(), 2, seq);
  bool ok = sqlite3_step(st.get()) == SQLITE_DONE;
  if (!ok) error_ = sqlite3_errmsg(db_);
  return ok;
}

}  // namespace station::records

#include "station/records/push.h"

#include "station/records/journal.h"

#ifdef TARN_HAVE_SQLITE
#include "station/records/database.h"
#endif

#include <libpq-fe.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace station::records {

namespace {

const char* const kCreate =
    "CREATE TABLE IF NOT EXISTS production_records ("
    " id text PRIMARY KEY, station text NOT NULL, slot integer, drive text, port text,"
    " started timestamptz NOT NULL, ended timestamptz, result text NOT NULL,"
    " failed_step text, fail_text text, flash_id text, chip_count bigint, chip_variant integer,"
    " capacity_mib bigint, file_system text, label text, doc jsonb NOT NULL,"
    " received timestamptz NOT NULL DEFAULT now())";

const char* const kColumns =
    "id, station, slot, drive, port, started, ended, result, failed_step, fail_text, flash_id,"
    " chip_count, chip_variant, capacity_mib, file_system, label, doc";

struct PgClose {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct PgClear {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Conn = std::unique_ptr<PGconn, PgClose>;
using Result = std::unique_ptr<PGresult, PgClear>;

// COPY's text form: backslash, tab and line ends escaped; \N is no value.
void copyField(std::string& out, const std::string& v, bool null = false) {
  if (null) {
    out += "\\N";
    return;
  }
  for (char c : v) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

std::string copyRow(const ProductionRecord& r) {
  std::string row;
  auto field = [&](const std::string& v, bool null = false) {
    if (!row.empty()) row += '\t';
    copyField(row, v, null);
  };
  field(r.id);
  field(r.station);
  field(std::to_string(r.slot));
  field(r.drive);
  field(r.port);
  field(r.startedAt);
  field(r.endedAt, r.endedAt.empty());
  field(r.success ? "success" : "fail");
  field(r.failedStep);
  field(r.failText);
  field(hex8(r.flashId));
  field(std::to_string(r.chipCount));
  field(r.chipVariant ? std::to_string(*r.chipVariant) : "", !r.chipVariant);
  field(std::to_string(r.capacityMib));
  field(r.fileSystem);
  field(r.label);
  field(toJson(r));
  if (row.find('\0') != std::string::npos) row.erase(std::remove(row.begin(), row.end(), '\0'), row.end());
  return row + '\n';
}

class Pusher {
 public:
  Pusher(PGconn* c, PushResult& result) : c_(c), result_(result) {}

  bool command(const std::string& sql, std::string* tuples = nullptr) {
    Result r(PQexec(c_, sql.c_str()));
    ExecStatusType s = PQresultStatus(r.get());
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
      result_.error = PQerrorMessage(c_);
      return false;
    }
    if (tuples) *tuples = PQcmdTuples(r.get());
    return true;
  }

  bool prepare() {
    if (!command("SET client_min_messages = warning")) return false;
    // Two stations creating the table at once: one of them loses the race; the table is
    // there all the same.
    if (!command(kCreate) && !command(kCreate)) return false;
    return command(std::string("CREATE TEMP TABLE incoming AS SELECT ") + kColumns +
                   " FROM production_records WITH NO DATA");
  }

  // One batch in one server transaction.
  bool send(const std::vector<ProductionRecord>& batch) {
    if (batch.empty()) return true;
    if (!command("BEGIN")) return false;
    {
      Result start(PQexec(c_, (std::string("COPY incoming (") + kColumns + ") FROM STDIN").c_str()));
      if (PQresultStatus(start.get()) != PGRES_COPY_IN) return abort();
    }
    std::string buf;
    for (const ProductionRecord& r : batch) {
      buf += copyRow(r);
      if (buf.size() > (1 << 20)) {
        if (PQputCopyData(c_, buf.data(), static_cast<int>(buf.size())) != 1) return abort();
        buf.clear();
      }
    }
    if (!buf.empty() && PQputCopyData(c_, buf.data(), static_cast<int>(buf.size())) != 1)
      return abort();
    if (PQputCopyEnd(c_, nullptr) != 1) return abort();
    for (;;) {
      Result r(PQgetResult(c_));
      if (!r) break;
      if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        result_.error = PQerrorMessage(c_);
        while (Result rest{PQgetResult(c_)}) {
        }
        return abort();
      }
    }
    std::string added;
    if (!command(std::string("INSERT INTO production_records (") + kColumns + ") SELECT " +
                     kColumns + " FROM incoming ON CONFLICT (id) DO NOTHING",
                 &added) ||
        !command("TRUNCATE incoming") || !command("COMMIT"))
      return abort();
    result_.sent += static_cast<int64_t>(batch.size());
    result_.added += std::stoll(added.empty() ? "0" : added);
    return true;
  }

 private:
  bool abort() {
    std::string why = result_.error.empty() ? PQerrorMessage(c_) : result_.error;
    Result r(PQexec(c_, "ROLLBACK"));
    result_.error = why;
    return false;
  }
  PGconn* c_;
  PushResult& result_;
};

}  // namespace

PushResult pushRecords(const Sources& sources, const std::string& url, const PushOptions& o) {
  PushResult result;
  Conn conn(PQconnectdb(url.c_str()));
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
    result.error = conn ? PQerrorMessage(conn.get()) : "out of memory";
    return result;
  }
  PQsetClientEncoding(conn.get(), "UTF8");
  Pusher pusher(conn.get(), result);
  if (!pusher.prepare()) return result;
  // Where this database has got to, by server and database, never by password.
  std::string target = std::string(PQhost(conn.get())) + ":" + PQport(conn.get()) + "/" +
                       PQdb(conn.get()) + "/" + kSharedTable;

  std::vector<ProductionRecord> batch;
  batch.reserve(o.batch);
  bool ok = true;
#ifdef TARN_HAVE_SQLITE
  std::error_code ec;
  if (!sources.database.empty() && std::filesystem::exists(sources.database, ec)) {
    std::string why;
    RecordDatabase::Options dbo;
    dbo.busyTimeoutMs = 5000;  // the station may be writing a record
    auto db = RecordDatabase::open(sources.database, &why, dbo);
    if (!db) {
      result.error = sources.database + ": " + why;
      return result;
    }
    // A batch is read, sent and marked before the next is read, so no read of the
    // database stays open while the mark is written.
    int64_t last = db->pushMark(target);
    for (;;) {
      ok = db->forEach(
          [&](ProductionRecord&& r, int64_t seq) {
            batch.push_back(std::move(r));
            last = seq;
          },
          last, static_cast<int64_t>(o.batch));
      if (!ok || batch.empty()) break;
      ok = pusher.send(batch) && db->setPushMark(target, last);
      batch.clear();
      if (!ok) break;
    }
    if (!ok) {
      if (result.error.empty()) result.error = db->lastError();
      return result;
    }
  }
#endif
  // Journals carry no mark: the key alone keeps their records from being counted twice.
  for (const std::string& path : sources.journals) {
    bool read = forEachJournalRecord(path, [&](ProductionRecord&& r) {
      if (!ok) return;
      batch.push_back(std::move(r));
      if (batch.size() >= o.batch) {
        ok = pusher.send(batch);
        batch.clear();
      }
    });
    ok = ok && pusher.send(batch);
    batch.clear();
    if (!read) {
      result.error = "cannot read " + path;
      return result;
    }
    if (!ok) return result;
  }
  result.ok = true;
  return result;
}

}  // namespace station::records

#include "station/records/push.h"

#include "station/records/journal.h"

#ifdef TARN_HAVE_SQLITE
#include "station/records/database.h"
#endif

#include <libpq-fe.h>

#include <algorithm>
#include <string_view>
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
// The server takes the columns out of the record's JSON itself: the station sends each
// record as it is stored, without reading it first.
const char* const kFromDoc =
    "doc->>'id', doc->>'station', (doc->>'slot')::integer, doc->>'drive', doc->>'port',"
    " (doc->>'started')::timestamptz, NULLIF(doc->>'ended', '')::timestamptz, doc->>'result',"
    " doc->>'failed_step', doc->>'fail_text', doc->>'flash_id', (doc->>'chip_count')::bigint,"
    " (doc->>'chip_variant')::integer, (doc->>'capacity_mib')::bigint, doc->>'file_system',"
    " doc->>'label', doc";

struct PgClose {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct PgClear {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Conn = std::unique_ptr<PGconn, PgClose>;
using Result = std::unique_ptr<PGresult, PgClear>;

// COPY's text form: backslash, tab and line ends escaped; \N is no value.
void copyField(std::string& out, std::string_view v) {
  for (char c : v) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': break;  // never in JSON text; COPY would refuse the whole batch
      default: out += c;
    }
  }
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
    return command("CREATE TEMP TABLE incoming (doc jsonb NOT NULL)");
  }

  // One batch in one server transaction.
  // `docs`: the records' JSON texts, one line each as COPY wants them.
  bool send(const std::string& docs, size_t count) {
    if (count == 0) return true;
    if (!command("BEGIN")) return false;
    {
      Result start(PQexec(c_, "COPY incoming (doc) FROM STDIN"));
      if (PQresultStatus(start.get()) != PGRES_COPY_IN) return abort();
    }
    for (size_t at = 0; at < docs.size(); at += 1 << 20) {
      size_t n = std::min<size_t>(1 << 20, docs.size() - at);
      if (PQputCopyData(c_, docs.data() + at, static_cast<int>(n)) != 1) return abort();
    }
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
                     kFromDoc + " FROM incoming ON CONFLICT (id) DO NOTHING",
                 &added) ||
        !command("TRUNCATE incoming") || !command("COMMIT"))
      return abort();
    result_.sent += static_cast<int64_t>(count);
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

  std::string docs;  // the batch in COPY's form
  size_t count = 0;
  auto take = [&](std::string_view doc) {
    copyField(docs, doc);
    docs += '\n';
    ++count;
  };
  auto flush = [&] {
    bool sent = pusher.send(docs, count);
    docs.clear();
    count = 0;
    return sent;
  };
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
      ok = db->forEachDoc(
          [&](const char* doc, size_t size, int64_t seq) {
            take(std::string_view(doc, size));
            last = seq;
          },
          last, static_cast<int64_t>(o.batch));
      if (!ok || count == 0) break;
      ok = flush() && db->setPushMark(target, last);
      if (!ok) break;
    }
    if (!ok) {
      if (result.error.empty()) result.error = db->lastError();
      return result;
    }
  }
#endif
  // Journals carry no mark: the key alone keeps their records from being counted twice.
  // Their lines are read as records first, so a damaged line is left out, not sent.
  for (const std::string& path : sources.journals) {
    bool read = forEachJournalRecord(path, [&](ProductionRecord&& r) {
      if (!ok) return;
      take(toJson(r));
      if (count >= o.batch) ok = flush();
    });
    ok = ok && flush();
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

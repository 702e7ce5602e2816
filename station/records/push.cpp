#include "station/records/push.h"

#include "station/records/journal.h"

#ifdef TARN_HAVE_SQLITE
#include "station/records/database.h"
#endif

#include <libpq-fe.h>

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

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


// A server that stops answering (a cut cable, a listener that never speaks) must not hold
// the push for ever: each wait for the server has its time, after which its connection is
// shut, which ends libpq's wait with an error.
class Watchdog {
 public:
  Watchdog(int seconds) : limit_(std::chrono::seconds(seconds)), thread_([this] { watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  void arm(int fd) {
    std::lock_guard<std::mutex> lock(mu_);
    fd_ = fd;
    due_ = std::chrono::steady_clock::now() + limit_;
    cv_.notify_all();
  }
  void disarm() {
    std::lock_guard<std::mutex> lock(mu_);
    fd_ = -1;
  }
  bool fired() const {
    std::lock_guard<std::mutex> lock(mu_);
    return fired_;
  }
  int seconds() const { return static_cast<int>(limit_.count()); }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!quit_) {
      if (fd_ < 0) {
        cv_.wait(lock);
      } else if (cv_.wait_until(lock, due_) == std::cv_status::timeout && fd_ >= 0 &&
                 std::chrono::steady_clock::now() >= due_) {
        ::shutdown(fd_, SHUT_RDWR);
        fired_ = true;
        fd_ = -1;
      }
    }
  }
  std::chrono::seconds limit_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  int fd_ = -1;
  std::chrono::steady_clock::time_point due_{};
  bool quit_ = false, fired_ = false;
  std::thread thread_;
};

class Pusher {
 public:
  Pusher(PGconn* c, PushResult& result, Watchdog& watchdog)
      : c_(c), result_(result), watchdog_(watchdog) {}

  bool command(const std::string& sql, std::string* tuples = nullptr) {
    Result r(exec(sql.c_str()));
    ExecStatusType s = PQresultStatus(r.get());
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
      result_.error = why();
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

  // Whether the server holds the record `id`; nothing when it cannot be asked.
  std::optional<bool> holds(const std::string& id) {
    const char* values[] = {id.c_str()};
    watchdog_.arm(PQsocket(c_));
    Result r(PQexecParams(c_, "SELECT 1 FROM production_records WHERE id = $1", 1, nullptr,
                          values, nullptr, nullptr, 0));
    watchdog_.disarm();
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
      result_.error = why();
      return std::nullopt;
    }
    return PQntuples(r.get()) > 0;
  }

  // One batch in one server transaction. `docs`: the records' JSON texts, one line each as
  // COPY wants them; `raw`: the same as they are. When the server refuses the batch but is
  // still there, each record goes on its own, so one damaged record keeps none of the
  // others back; the positions it refused, and why, are in `refused`.
  bool send(const std::string& docs, const std::vector<std::string>& raw,
            std::vector<std::pair<size_t, std::string>>& refused) {
    if (raw.empty()) return true;
    if (sendBatch(docs)) {
      result_.sent += static_cast<int64_t>(raw.size());
      return true;
    }
    if (watchdog_.fired() || PQstatus(c_) != CONNECTION_OK) return false;
    result_.error.clear();
    if (!command("BEGIN")) return false;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (!command("SAVEPOINT one")) return abort();
      const char* values[] = {raw[i].c_str()};
      watchdog_.arm(PQsocket(c_));
      Result r(PQexecParams(c_,
                            (std::string("INSERT INTO production_records (") + kColumns +
                             ") SELECT " + kFromDoc +
                             " FROM (SELECT $1::jsonb AS doc) AS one ON CONFLICT (id) DO NOTHING")
                                .c_str(),
                            1, nullptr, values, nullptr, nullptr, 0));
      watchdog_.disarm();
      if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) {
        result_.added += std::atoll(PQcmdTuples(r.get()));
        if (!command("RELEASE SAVEPOINT one")) return abort();
        continue;
      }
      if (watchdog_.fired() || PQstatus(c_) != CONNECTION_OK) return abort();
      std::string reason = PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY)
                               ? PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY)
                               : why();
      refused.emplace_back(i, reason);
      if (!command("ROLLBACK TO SAVEPOINT one")) return abort();
    }
    if (!command("COMMIT")) return abort();
    result_.sent += static_cast<int64_t>(raw.size() - refused.size());
    return true;
  }

 private:
  PGresult* exec(const char* sql) {
    watchdog_.arm(PQsocket(c_));
    PGresult* r = PQexec(c_, sql);
    watchdog_.disarm();
    return r;
  }

  std::string why() const {
    if (watchdog_.fired())
      return "no answer from the server in " + std::to_string(watchdog_.seconds()) + " s";
    std::string m = PQerrorMessage(c_);
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    return m;
  }

  bool sendBatch(const std::string& docs) {
    if (!command("BEGIN")) return false;
    {
      Result start(exec("COPY incoming (doc) FROM STDIN"));
      if (PQresultStatus(start.get()) != PGRES_COPY_IN) return abort();
    }
    watchdog_.arm(PQsocket(c_));
    bool put = true;
    for (size_t at = 0; put && at < docs.size(); at += 1 << 20) {
      size_t n = std::min<size_t>(1 << 20, docs.size() - at);
      put = PQputCopyData(c_, docs.data() + at, static_cast<int>(n)) == 1;
    }
    put = put && PQputCopyEnd(c_, nullptr) == 1;
    bool copied = put;
    while (Result r{PQgetResult(c_)}) {
      if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) copied = false;
    }
    watchdog_.disarm();
    if (!copied) {
      result_.error = why();
      return abort();
    }
    std::string added;
    if (!command(std::string("INSERT INTO production_records (") + kColumns + ") SELECT " +
                     kFromDoc + " FROM incoming ON CONFLICT (id) DO NOTHING",
                 &added) ||
        !command("TRUNCATE incoming") || !command("COMMIT"))
      return abort();
    result_.added += std::stoll(added.empty() ? "0" : added);
    return true;
  }

  bool abort() {
    std::string reason = result_.error.empty() ? why() : result_.error;
    if (!watchdog_.fired() && PQstatus(c_) == CONNECTION_OK) Result r(exec("ROLLBACK"));
    result_.error = reason;
    return false;
  }
  PGconn* c_;
  PushResult& result_;
  Watchdog& watchdog_;
};

}  // namespace

PushResult pushRecords(const Sources& sources, const std::string& url, const PushOptions& o) {
  PushResult result;
  const std::string timeout = std::to_string(std::max(1, o.timeoutSeconds));
  // The URL's own settings first; the time limits after them win.
  const char* keys[] = {"dbname", "connect_timeout", nullptr};
  const char* values[] = {url.c_str(), timeout.c_str(), nullptr};
  Conn conn(PQconnectdbParams(keys, values, 1));
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
    result.error = conn ? PQerrorMessage(conn.get()) : "out of memory";
    while (!result.error.empty() && result.error.back() == '\n') result.error.pop_back();
    return result;
  }
  PQsetClientEncoding(conn.get(), "UTF8");
  Watchdog watchdog(std::max(1, o.timeoutSeconds));
  Pusher pusher(conn.get(), result, watchdog);
  if (!pusher.prepare()) return result;
  // Where this database has got to, by server and database, never by password.
  std::string target = std::string(PQhost(conn.get())) + ":" + PQport(conn.get()) + "/" +
                       PQdb(conn.get()) + "/" + kSharedTable;

  std::string docs;  // the batch in COPY's form
  std::vector<std::string> raw;  // and as it is
  std::vector<int64_t> seqs;     // where it is in the station's database; 0 for a journal's
  std::vector<std::string> ids;  // a journal record's id
  std::function<std::string(int64_t)> idAt;
  auto take = [&](std::string_view doc, std::string id, int64_t seq) {
    copyField(docs, doc);
    docs += '\n';
    raw.emplace_back(doc);
    seqs.push_back(seq);
    ids.push_back(std::move(id));
  };
  // The position of the first record that the server refused, if any: the batch is sent
  // all the same, but the mark stops before it, so later pushes offer it again.
  std::optional<int64_t> stuckAt;
  auto flush = [&] {
    std::vector<std::pair<size_t, std::string>> refused;
    bool sent = pusher.send(docs, raw, refused);
    for (const auto& [i, reason] : refused)
      result.refused.push_back((seqs[i] && idAt ? idAt(seqs[i]) : ids[i]) + ": " + reason);
    if (sent && !refused.empty() && !stuckAt && seqs[refused.front().first])
      stuckAt = seqs[refused.front().first];
    docs.clear();
    raw.clear();
    seqs.clear();
    ids.clear();
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
    idAt = [&db](int64_t seq) { return db->idAt(seq); };
    int64_t last = o.all ? 0 : db->pushMark(target);
    if (last > 0) {
      // A mark is only as good as the server's table: emptied, dropped or replaced, it
      // lacks the last record the mark stands for, and everything is offered again.
      std::string markId = db->idAt(last);
      std::optional<bool> held = markId.empty() ? std::optional<bool>(false) : pusher.holds(markId);
      if (!held) return result;
      if (!*held) last = 0;
    }
    // A batch is read, sent and marked before the next is read, so no read of the
    // database stays open while the mark is written.
    for (;;) {
      int64_t read = last;
      ok = db->forEachDoc(
          [&](const char* doc, size_t size, int64_t seq) {
            take(std::string_view(doc, size), "", seq);
            read = seq;
          },
          read, static_cast<int64_t>(o.batch));
      if (!ok || raw.empty()) break;
      ok = flush();
      if (!ok) break;
      last = read;
      if (!db->setPushMark(target, stuckAt ? std::min(last, *stuckAt - 1) : last)) {
        ok = false;
        break;
      }
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
      take(toJson(r), r.id, 0);
      if (raw.size() >= o.batch) ok = flush();
    });
    ok = ok && flush();
    if (!read) {
      result.error = "cannot read " + path;
      return result;
    }
    if (!ok) return result;
  }
  result.ok = result.refused.empty();
  if (!result.ok)
    result.error = "the server refused " + std::to_string(result.refused.size()) + " record(s)";
  return result;
}

}  // namespace station::records

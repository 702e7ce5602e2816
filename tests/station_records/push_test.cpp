// Pushing records into a real PostgreSQL server: twice adds nothing, two stations fill one
// table, a push cut off goes on where it stopped.
#include "pg_server.h"
#include "records_fixture.h"
#include "station/records/database.h"
#include "station/records/journal.h"
#include "station/records/push.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <poll.h>

#include <atomic>
#include <thread>

namespace station::records::testing {
namespace {

class Push : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new PgServer(); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    if (!server->running()) GTEST_SKIP() << server->why();
    // each test its own database on the one server
    db = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : db) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(server->exec("CREATE DATABASE " + db));
  }
  std::string url() const { return server->url(db); }
  int64_t rows(const std::string& where = "true") const {
    return std::stoll(server->value("SELECT count(*) FROM production_records WHERE " + where, db));
  }
  // A station's database with `n` records.
  std::vector<ProductionRecord> station(const std::string& path, const std::string& name, int n) {
    std::vector<ProductionRecord> rs;
    for (int i = 0; i < n; ++i) rs.push_back(sampleRecord(i, name));
    auto base = RecordDatabase::open(path, nullptr);
    EXPECT_EQ(base->insert(rs), n);
    return rs;
  }

  static PgServer* server;
  std::string db;
  ScratchDir dir{"push"};
};
PgServer* Push::server = nullptr;

TEST_F(Push, TwiceAddsNothing) {
  std::vector<ProductionRecord> rs = station(dir / "a.db", "line-1", 120);
  PushResult first = pushRecords({dir / "a.db", {}}, url(), {50});
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_EQ(first.sent, 120);
  EXPECT_EQ(first.added, 120);
  PushResult second = pushRecords({dir / "a.db", {}}, url(), {50});
  ASSERT_TRUE(second.ok) << second.error;
  EXPECT_EQ(second.sent, 0) << "the database's mark says they are there";
  EXPECT_EQ(rows(), 120);

  // The fields arrive as they were.
  const ProductionRecord& r = rs[3];
  auto field = [&](const std::string& col) {
    return server->value("SELECT " + col + " FROM production_records WHERE id = '" + r.id + "'", db);
  };
  EXPECT_EQ(field("station"), "line-1");
  EXPECT_EQ(field("result"), "fail");
  EXPECT_EQ(field("failed_step"), "program");
  EXPECT_EQ(field("port"), r.port);
  EXPECT_EQ(field("flash_id"), "ECD35195");
  EXPECT_EQ(field("to_char(started AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"), r.startedAt);
  EXPECT_EQ(field("doc->'steps'->2->>0"), "program");
  EXPECT_EQ(fromJson(field("doc::text")), r);

  // Journals carry no mark: their records are sent again and added only when new.
  appendJournalLine(dir / "a.journal", toJson(rs[0]));
  ProductionRecord fresh = sampleRecord(500, "line-1");
  fresh.failText = "tab\tand\\backslash\nline";
  appendJournalLine(dir / "a.journal", toJson(fresh));
  PushResult journal = pushRecords({"", {dir / "a.journal"}}, url());
  ASSERT_TRUE(journal.ok) << journal.error;
  EXPECT_EQ(journal.sent, 2);
  EXPECT_EQ(journal.added, 1);
  EXPECT_EQ(rows(), 121);
  EXPECT_EQ(server->value("SELECT fail_text FROM production_records WHERE id = '" + fresh.id + "'", db),
            fresh.failText);
}

TEST_F(Push, TwoStationsOneTable) {
  station(dir / "a.db", "line-1", 70);
  station(dir / "b.db", "line-2", 45);
  // with the tool, as a station's operator would
  std::string out;
  const std::string tool = std::string(TARN_DIST_DIR) + "/mprecords";
  ASSERT_EQ(e2e::run({tool, "--db", dir / "a.db", "push", url()}, &out), 0) << out;
  EXPECT_EQ(out, "pushed 70 records, 70 new\n");
  ASSERT_EQ(e2e::run({tool, "--db", dir / "b.db", "push", url()}, &out), 0) << out;
  EXPECT_EQ(out, "pushed 45 records, 45 new\n");
  ASSERT_EQ(e2e::run({tool, "--db", dir / "a.db", "push", url()}, &out), 0) << out;
  EXPECT_EQ(out, "pushed 0 records, 0 new\n");
  EXPECT_EQ(rows(), 115);
  EXPECT_EQ(rows("station = 'line-2'"), 45);
  // A server that is not there: a message and exit code 1, not a crash.
  EXPECT_EQ(e2e::run({tool, "--db", dir / "a.db", "push", "postgresql://tarn@127.0.0.1:1/x"}, &out), 1);
  EXPECT_THAT(out, ::testing::HasSubstr("mprecords: push: "));
}

// A damaged record (a start that is not a time, a text that is not JSON) holds none of the
// others back: they are pushed, the damaged ones named by id, and offered again by every
// later push until they are mended.
TEST_F(Push, OneDamagedRecordHoldsNoOtherBack) {
  std::vector<ProductionRecord> rs = station(dir / "a.db", "line-1", 100);
  ProductionRecord late = sampleRecord(100, "line-1");
  late.startedAt = "not a time";
  {
    auto base = RecordDatabase::open(dir / "a.db", nullptr);
    base->insert({late});
    base->insert({sampleRecord(101, "line-1")});
  }
  auto sql = [&](const std::string& statement) {
    sqlite3* raw = nullptr;
    sqlite3_open((dir / "a.db").c_str(), &raw);
    EXPECT_EQ(sqlite3_exec(raw, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
  };
  sql("UPDATE records SET doc = '{\"id\": broken' WHERE id = '" + rs[50].id + "'");
  std::string out;
  const std::string tool = std::string(TARN_DIST_DIR) + "/mprecords";
  EXPECT_EQ(e2e::run({tool, "--db", dir / "a.db", "push", url()}, &out), 1);
  EXPECT_THAT(out, ::testing::HasSubstr("pushed 100 records, 100 new\n"));
  EXPECT_THAT(out, ::testing::HasSubstr("mprecords: push: refused " + rs[50].id + ": "));
  EXPECT_THAT(out, ::testing::HasSubstr("mprecords: push: refused " + late.id + ": "));
  EXPECT_EQ(rows(), 100);

  PushResult again = pushRecords({dir / "a.db", {}}, url(), {40});
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.refused.size(), 2u) << "still offered, still named";
  EXPECT_EQ(again.added, 0);
  // mended at the station, pushed again: added once, then the mark moves past them
  sql("UPDATE records SET doc = '" + toJson(rs[50]) + "' WHERE id = '" + rs[50].id + "'");
  sql("DELETE FROM records WHERE started = 'not a time'");
  PushResult mended = pushRecords({dir / "a.db", {}}, url(), {40});
  ASSERT_TRUE(mended.ok) << mended.error;
  EXPECT_EQ(mended.added, 1);
  EXPECT_EQ(pushRecords({dir / "a.db", {}}, url(), {40}).sent, 0);
  EXPECT_EQ(rows(), 101);
}

// A listener between the station and the server that forwards what the station sends
// until `stallAfter` bytes, then goes silent with the connection left open.
class Relay {
 public:
  explicit Relay(int serverPort) : server_(serverPort) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 8);
    socklen_t n = sizeof a;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~Relay() {
    quit_ = true;
    shutdown(listen_, SHUT_RDWR);
    thread_.join();
    close(listen_);
  }
  int port() const { return port_; }
  std::atomic<size_t> stallAfter{SIZE_MAX};

 private:
  static sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
  }
  void serve() {
    std::vector<std::thread> pipes;
    for (int c; !quit_ && (c = accept(listen_, nullptr, nullptr)) >= 0;)
      pipes.emplace_back([this, c] { pipe(c); });
    for (auto& t : pipes) t.join();
  }
  void pipe(int client) {
    int up = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(server_);
    size_t limit = stallAfter, forwarded = 0;
    if (connect(up, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      char buf[65536];
      while (!quit_) {
        pollfd fds[2] = {{client, POLLIN, 0}, {up, POLLIN, 0}};
        if (poll(fds, 2, 100) <= 0) continue;
        if (fds[0].revents) {
          ssize_t n = read(client, buf, sizeof buf);
          if (n <= 0) break;
          if (forwarded < limit) write(up, buf, static_cast<size_t>(n));
          forwarded += static_cast<size_t>(n);
        }
        if (fds[1].revents) {
          ssize_t n = read(up, buf, sizeof buf);
          if (n <= 0) break;
          if (forwarded <= limit) write(client, buf, static_cast<size_t>(n));
        }
      }
    }
    close(up);
    close(client);
  }
  int server_, listen_ = -1, port_ = 0;
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

// A server that stops answering, and one that never answered: the push gives up after its
// time-out with the cause; what the server confirmed stays marked and the next push goes on.
TEST_F(Push, SilentServerTimesOut) {
  station(dir / "a.db", "line-1", 100);
  Relay relay(server->port());
  std::string viaRelay = "postgresql://tarn@127.0.0.1:" + std::to_string(relay.port()) + "/" + db;
  relay.stallAfter = 60 * 1024;  // the set-up and two batches or so, then silence
  PushOptions quick{20, 1, false};
  PushResult cut = pushRecords({dir / "a.db", {}}, viaRelay, quick);
  EXPECT_FALSE(cut.ok);
  EXPECT_THAT(cut.error, ::testing::HasSubstr("no answer from the server in 1 s"));
  EXPECT_GT(cut.sent, 0);
  EXPECT_LT(cut.sent, 100);
  EXPECT_EQ(rows(), cut.sent) << "what the server confirmed, nothing more";
  relay.stallAfter = SIZE_MAX;
  PushResult rest = pushRecords({dir / "a.db", {}}, viaRelay, quick);
  ASSERT_TRUE(rest.ok) << rest.error;
  EXPECT_EQ(rest.sent, 100 - cut.sent);
  EXPECT_EQ(rows(), 100);

  // A listener that takes the connection and never says a word.
  int mute = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(mute, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  listen(mute, 8);
  socklen_t n = sizeof a;
  getsockname(mute, reinterpret_cast<sockaddr*>(&a), &n);
  std::string out;
  const std::string tool = std::string(TARN_DIST_DIR) + "/mprecords";
  EXPECT_EQ(e2e::run({tool, "--db", dir / "a.db", "push", "--timeout", "2",
                      "postgresql://tarn@127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/x"},
                     &out),
            1);
  EXPECT_THAT(out, ::testing::HasSubstr("mprecords: push: "));
  close(mute);
}

// The marks trust the server: a table emptied there is filled again, and --all offers
// every record whatever the marks say.
TEST_F(Push, MarksFollowTheServer) {
  std::vector<ProductionRecord> rs = station(dir / "a.db", "line-1", 30);
  ASSERT_TRUE(pushRecords({dir / "a.db", {}}, url()).ok);
  ASSERT_TRUE(server->exec("DELETE FROM production_records", db));
  PushResult refill = pushRecords({dir / "a.db", {}}, url());
  ASSERT_TRUE(refill.ok) << refill.error;
  EXPECT_EQ(refill.added, 30);
  ASSERT_TRUE(server->exec("DELETE FROM production_records WHERE id = '" + rs[5].id + "'", db));
  EXPECT_EQ(pushRecords({dir / "a.db", {}}, url()).sent, 0) << "the last record is there";
  PushResult all = pushRecords({dir / "a.db", {}}, url(), {5000, 10, true});
  ASSERT_TRUE(all.ok) << all.error;
  EXPECT_EQ(all.sent, 30);
  EXPECT_EQ(all.added, 1);
  EXPECT_EQ(rows(), 30);
}

}  // namespace
}  // namespace station::records::testing

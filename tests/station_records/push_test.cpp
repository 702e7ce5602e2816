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

// A push that stops in the middle (here: the server refuses a record) keeps what the
// server confirmed; the next push sends only the rest.
TEST_F(Push, GoesOnWhereItStopped) {
  std::vector<ProductionRecord> rs = station(dir / "a.db", "line-1", 100);
  {
    ProductionRecord bad = sampleRecord(100, "line-1");
    bad.startedAt = "not a time";
    auto base = RecordDatabase::open(dir / "a.db", nullptr);
    base->insert({bad});
    base->insert({sampleRecord(101, "line-1")});
  }
  PushResult cut = pushRecords({dir / "a.db", {}}, url(), {40});
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.sent, 80);
  EXPECT_EQ(rows(), 80);

  // mended at the station, pushed again
  sqlite3* raw = nullptr;
  sqlite3_open((dir / "a.db").c_str(), &raw);
  sqlite3_exec(raw, "DELETE FROM records WHERE started = 'not a time'", nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  PushResult rest = pushRecords({dir / "a.db", {}}, url(), {40});
  ASSERT_TRUE(rest.ok) << rest.error;
  EXPECT_EQ(rest.sent, 21);
  EXPECT_EQ(rest.added, 21);
  EXPECT_EQ(rows(), 101);
}

}  // namespace
}  // namespace station::records::testing

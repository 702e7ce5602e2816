// The station's record store on a real SQLite database: each record kept once, a locked
// database and a full disk losing nothing, older databases brought up to date.
#include "records_fixture.h"
#include "station/records/database.h"
#include "station/records/journal.h"
#include "station/records/source.h"
#include "station/records/store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include <sys/mount.h>
#include <unistd.h>

namespace station::records::testing {
namespace {

std::multiset<std::string> idsIn(const std::string& db) {
  std::multiset<std::string> ids;
  auto base = RecordDatabase::open(db, nullptr);
  if (base) base->forEach([&](ProductionRecord&& r, int64_t) { ids.insert(r.id); });
  return ids;
}

size_t journalLines(const std::string& path, size_t* bad = nullptr) {
  size_t n = 0;
  forEachJournalRecord(path, [&](ProductionRecord&&) { ++n; }, bad);
  return n;
}

// Another program holding the database's write lock.
class Holder {
 public:
  explicit Holder(const std::string& path) {
    sqlite3_open(path.c_str(), &db_);
    sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  }
  ~Holder() { release(); }
  void release() {
    if (!db_) return;
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
  }

 private:
  sqlite3* db_ = nullptr;
};

class Store : public ::testing::Test {
 protected:
  Store() : dir("store") {
    options.databasePath = dir / "records.db";
    options.journalPath = dir / "records.journal";
  }
  ScratchDir dir;
  StoreOptions options;
};

TEST_F(Store, EachRecordOnceInTheDatabase) {
  RecordStore store(options);
  std::vector<ProductionRecord> added;
  for (int i = 0; i < 5; ++i) {
    added.push_back(sampleRecord(i));
    EXPECT_EQ(store.add(added.back()), Kept::Database);
  }
  std::vector<ProductionRecord> read;
  std::string error;
  ASSERT_TRUE(forEachRecord({options.databasePath, {options.journalPath}},
                            [&](ProductionRecord&& r) { read.push_back(r); }, &error));
  EXPECT_EQ(read, added);
  EXPECT_FALSE(fs::exists(options.journalPath));
  auto found = findRecord({options.databasePath, {}}, added[3].id, &error);
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, added[3]);
  // WAL: a reader never stops the writer.
  auto reader = RecordDatabase::open(options.databasePath, nullptr, {true, 20, kSchemaVersion});
  ASSERT_TRUE(reader);
  int seen = 0;
  reader->forEach([&](ProductionRecord&&, int64_t) {
    if (seen++ == 0) {
      EXPECT_EQ(store.add(sampleRecord(9)), Kept::Database);
    }
  });
  EXPECT_EQ(idsIn(options.databasePath).size(), 6u);
}

TEST_F(Store, LockedDatabaseLosesNothing) {
  RecordStore store(options);
  ASSERT_EQ(store.add(sampleRecord(0)), Kept::Database);
  std::vector<std::string> ids;
  {
    Holder holder(options.databasePath);
    for (int i = 1; i <= 3; ++i) {
      ProductionRecord r = sampleRecord(i);
      ids.push_back(r.id);
      EXPECT_EQ(store.add(r), Kept::Journal);
    }
    EXPECT_EQ(journalLines(options.journalPath), 3u);
    // The tools see every record meanwhile, each once.
    int n = 0;
    forEachStatRow({options.databasePath, {options.journalPath}}, [&](const StatRow&) { ++n; }, nullptr);
    EXPECT_EQ(n, 4);
    Stats stats;
    EXPECT_TRUE(collectStats({options.databasePath, {options.journalPath}}, {}, stats, nullptr));
    EXPECT_EQ(stats.overall.total, 4);
  }
  // Writable again: the next record takes the journal's into the database with it.
  ASSERT_EQ(store.add(sampleRecord(4)), Kept::Database);
  EXPECT_FALSE(fs::exists(options.journalPath));
  std::multiset<std::string> inBase = idsIn(options.databasePath);
  EXPECT_EQ(inBase.size(), 5u);
  for (const auto& id : ids) EXPECT_EQ(inBase.count(id), 1u);

  // A move cut short after the database had them (the journal still there) counts nothing
  // twice when it is done again.
  auto again = RecordDatabase::open(options.databasePath, nullptr);
  again->forEach([&](ProductionRecord&& r, int64_t) { appendJournalLine(options.journalPath, toJson(r)); });
  again.reset();
  EXPECT_TRUE(store.moveJournal());
  EXPECT_EQ(idsIn(options.databasePath).size(), 5u);
  EXPECT_FALSE(fs::exists(options.journalPath));
}

// A journal left by an earlier run of the station moves in when the next one starts; lines
// that are not records are kept aside, not thrown away.
TEST_F(Store, JournalOfAnEarlierRunMovesIn) {
  ProductionRecord a = sampleRecord(1), b = sampleRecord(2);
  appendJournalLine(options.journalPath, toJson(a));
  appendJournalLine(options.journalPath, "{\"id\": \"half");
  appendJournalLine(options.journalPath, toJson(b));
  RecordStore store(options);
  EXPECT_TRUE(store.moveJournal());
  EXPECT_EQ(idsIn(options.databasePath), (std::multiset<std::string>{a.id, b.id}));
  EXPECT_FALSE(fs::exists(options.journalPath));
  int kept = 0;
  for (const auto& e : fs::directory_iterator(dir.path()))
    if (e.path().filename().string().rfind("records.journal.unreadable-", 0) == 0) ++kept;
  EXPECT_EQ(kept, 1);
}

// A journal whose last line was torn (a crash, a full disk) loses only that fragment: the
// records appended after it stay readable and move in.
TEST_F(Store, TornJournalTailKeepsTheNextRecord) {
  ProductionRecord a = sampleRecord(1), b = sampleRecord(2);
  std::string line = toJson(a);
  std::ofstream(options.journalPath, std::ios::binary) << line << "\n" << line.substr(0, 40);
  ASSERT_TRUE(appendJournalLine(options.journalPath, toJson(b)));
  size_t bad = 0;
  EXPECT_EQ(journalLines(options.journalPath, &bad), 2u);
  EXPECT_EQ(bad, 1u);
  RecordStore store(options);
  EXPECT_TRUE(store.moveJournal());
  EXPECT_EQ(idsIn(options.databasePath), (std::multiset<std::string>{a.id, b.id}));
}

TEST_F(Store, OlderSchemaIsBroughtUpToDate) {
  ProductionRecord r = sampleRecord(1);
  {
    RecordDatabase::Options v1;
    v1.schemaVersion = 1;
    auto old = RecordDatabase::open(options.databasePath, nullptr, v1);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->schemaVersion(), 1);
    EXPECT_EQ(old->insert({r}), 1);
    EXPECT_FALSE(old->setPushMark("x", 1)) << "version 1 has no push marks";
  }
  auto base = RecordDatabase::open(options.databasePath, nullptr);
  ASSERT_TRUE(base);
  EXPECT_EQ(base->schemaVersion(), kSchemaVersion);
  EXPECT_EQ(base->find(r.id), r);
  EXPECT_TRUE(base->setPushMark("x", 1));
  EXPECT_EQ(base->pushMark("x"), 1);
  EXPECT_EQ(base->insert({r, sampleRecord(2)}), 1) << "an id already there is not added again";
}

// The tools read a database that no station has brought up to date yet.
TEST_F(Store, ToolsReadAnOlderDatabase) {
  RecordDatabase::Options v2;
  v2.schemaVersion = 2;
  ASSERT_EQ(RecordDatabase::open(options.databasePath, nullptr, v2)->insert({sampleRecord(1), sampleRecord(2)}), 2);
  Stats stats;
  std::string error;
  EXPECT_TRUE(collectStats({options.databasePath, {}}, {}, stats, &error)) << error;
  EXPECT_EQ(stats.overall.total, 2);
}

TEST_F(Store, StatsNameTheStationsOnlyWhenAsked) {
  ProductionRecord a = sampleRecord(1), b = sampleRecord(2);
  a.station = "line-1";
  b.station = "line-2";
  ASSERT_EQ(RecordDatabase::open(options.databasePath, nullptr)->insert({a, b}), 2);
  for (bool asked : {false, true}) {
    Stats stats;
    stats.wantStations = asked;
    std::string error;
    ASSERT_TRUE(collectStats({options.databasePath, {}}, {}, stats, &error)) << error;
    const std::set<std::string> named = asked ? std::set<std::string>{"line-1", "line-2"} : std::set<std::string>{};
    EXPECT_EQ(stats.stations, named);
  }
}

// A database written by a later station version is not touched; the records go to the
// journal.
TEST_F(Store, NewerSchemaIsLeftAlone) {
  {
    sqlite3* db = nullptr;
    sqlite3_open(options.databasePath.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  std::string error;
  EXPECT_FALSE(RecordDatabase::open(options.databasePath, &error));
  EXPECT_THAT(error, ::testing::HasSubstr("newer"));
  RecordStore store(options);
  EXPECT_EQ(store.add(sampleRecord(1)), Kept::Journal);
  EXPECT_EQ(journalLines(options.journalPath), 1u);
}

// A tiny file system of its own (tmpfs, 512 KiB) that can be filled to the last pages.
class SmallDisk {
 public:
  explicit SmallDisk(const fs::path& at) : path_(at) {
    fs::create_directories(at);
    mounted_ = geteuid() == 0 && mount("tarnrec", at.c_str(), "tmpfs", 0, "size=512k") == 0;
    if (!mounted_) why_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  // The spacer's room is what is left.
  void fill() {
    std::ofstream(path_ / "spacer", std::ios::binary) << std::string(8 * 1024, 'x');
    std::FILE* f = std::fopen((path_ / "filler").c_str(), "wb");
    ASSERT_TRUE(f);
    std::string page(4096, 'f');
    while (std::fwrite(page.data(), 1, page.size(), f) == page.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
    fs::remove(path_ / "spacer");
  }
  void free() { fs::remove(path_ / "filler"); }

 private:
  fs::path path_;
  bool mounted_ = false;
  std::string why_;
};

#define NEED_SMALL_DISK(disk)                                                              \
  if (!(disk).mounted())                                                                   \
  GTEST_SKIP() << "needs root and a tmpfs mount to make a full disk: " << (disk).why()

// Filled up: records wait in the journal or in memory and all reach the database, once
// each, when space comes back.
TEST_F(Store, FullDiskLosesNothing) {
  SmallDisk disk(dir.path() / "disk");
  NEED_SMALL_DISK(disk);
  StoreOptions o;
  o.databasePath = disk / "records.db";
  o.journalPath = disk / "records.journal";
  RecordStore store(o);
  std::vector<std::string> ids;
  ProductionRecord first = sampleRecord(0);
  ids.push_back(first.id);
  ASSERT_EQ(store.add(first), Kept::Database);

  std::string probe = disk / "probe.journal";
  ASSERT_TRUE(appendJournalLine(probe, toJson(first)));
  auto probeSize = fs::file_size(probe);
  disk.fill();

  std::map<Kept, int> kinds;
  for (int i = 1; i <= 40; ++i) {
    ProductionRecord r = sampleRecord(i);
    ids.push_back(r.id);
    ++kinds[store.add(r)];
  }
  // The database's own files take the last pages; what finds no room waits in memory.
  EXPECT_GT(kinds[Kept::Memory], 0);
  // A line that does not fit is taken back whole.
  EXPECT_FALSE(appendJournalLine(probe, std::string(100 * 1024, 'x')));
  EXPECT_EQ(fs::file_size(probe), probeSize);
  size_t bad = 0;
  size_t inJournal = journalLines(o.journalPath, &bad);
  EXPECT_EQ(bad, 0u) << "no half line in the journal";
  EXPECT_EQ(idsIn(o.databasePath).size() + inJournal + store.heldInMemory(), 41u);

  disk.free();
  ProductionRecord last = sampleRecord(41);
  ids.push_back(last.id);
  EXPECT_EQ(store.add(last), Kept::Database);
  EXPECT_EQ(store.heldInMemory(), 0u);
  EXPECT_FALSE(fs::exists(o.journalPath));
  std::multiset<std::string> inBase = idsIn(o.databasePath);
  EXPECT_EQ(inBase.size(), ids.size());
  for (const auto& id : ids) EXPECT_EQ(inBase.count(id), 1u) << id;
}

// The station closes: what waits in memory is written once there is room, or counted as
// lost when there is none; and the database file alone (its log folded in) holds it all.
TEST_F(Store, CloseWritesWhatWaits) {
  for (bool room : {true, false}) {
    SmallDisk disk(dir.path() / (room ? "room" : "full"));
    NEED_SMALL_DISK(disk);
    StoreOptions o;
    o.databasePath = disk / "records.db";
    o.journalPath = disk / "records.journal";
    RecordStore store(o);
    ASSERT_EQ(store.add(sampleRecord(0)), Kept::Database);
    disk.fill();
    for (int i = 1; i <= 30; ++i) store.add(sampleRecord(i));
    size_t waiting = store.heldInMemory();
    ASSERT_GT(waiting, 0u);
    if (room) disk.free();
    EXPECT_EQ(store.close(), room ? 0u : waiting);
    if (!room) continue;
    EXPECT_TRUE(store.moveJournal());
    store.close();
    fs::copy_file(o.databasePath, dir / "copy.db");
    EXPECT_EQ(idsIn(dir / "copy.db").size(), 31u);
  }
}

}  // namespace
}  // namespace station::records::testing

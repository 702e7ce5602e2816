// mprecords as a program: filters, show, stats, CSV, exit codes.
#include "../station_e2e/station_harness.h"
#include "records_fixture.h"
#include "station/records/database.h"
#include "station/records/journal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace station::records::testing {
namespace {

using ::testing::HasSubstr;

const std::string kTool = std::string(TARN_DIST_DIR) + "/mprecords";

class Tool : public ::testing::Test {
 protected:
  Tool() : dir("tool") {
    fs::create_directories(dir.path() / "misc");
    db = (dir.path() / "misc" / "records.db").string();
    journal = (dir.path() / "misc" / "records.journal").string();
  }
  int mprecords(std::vector<std::string> args, std::string* out) {
    args.insert(args.begin(), {kTool, "--dir", dir.path().string()});
    return e2e::run(args, out);
  }
  std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
  ScratchDir dir;
  std::string db, journal;
};

TEST_F(Tool, ListShowExportFromDatabaseAndJournal) {
  std::vector<ProductionRecord> records;
  for (int i = 0; i < 12; ++i) {
    records.push_back(sampleRecord(i * 400));  // every 6 min 40 s from 06:00 to 07:13:20
    records[i].port = "1-" + std::to_string(1 + i % 3);
    records[i].flashId = i % 2 ? 0xECD35195 : 0x98D79432;
  }
  records[3].success = false;
  records[3].failedStep = "program";
  {
    auto base = RecordDatabase::open(db, nullptr);
    ASSERT_TRUE(base);
    ASSERT_EQ(base->insert({records.begin(), records.begin() + 10}), 10);
  }
  // records 8, 9 are in both (a move cut short), 10, 11 only in the journal
  for (int i = 8; i < 12; ++i) appendJournalLine(journal, toJson(records[i]));

  std::string out;
  struct Case { std::vector<std::string> filter; std::vector<int> expect; };
  for (const Case& c : std::vector<Case>{
           {{}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
           {{"--result", "fail"}, {3}},
           {{"--result", "success"}, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11}},
           {{"--from", "2026-12-08 07:00"}, {9, 10, 11}},
           {{"--to", "2026-12-08T06:20"}, {0, 1, 2}},
           {{"--from", "2026-12-08T06:30", "--to", "2026-12-08T06:50"}, {5, 6, 7}},
           {{"--port", "1-1"}, {0, 3, 6, 9}},
           {{"--flash-id", "98d79432"}, {0, 2, 4, 6, 8, 10}}}) {
    std::vector<std::string> args = {"list"};
    args.insert(args.end(), c.filter.begin(), c.filter.end());
    ASSERT_EQ(mprecords(args, &out), 0) << out;
    std::vector<std::string> want, got;
    for (int i : c.expect) want.push_back(records[i].id);
    std::vector<std::string> listed = lines(out);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed[0].substr(0, 20), "id                  ") << "a header first";
    for (size_t i = 1; i < listed.size(); ++i) got.push_back(listed[i].substr(0, 32));
    EXPECT_EQ(got, want) << (c.filter.empty() ? "all" : c.filter[0]);
  }

  ASSERT_EQ(mprecords({"show", records[11].id}, &out), 0);
  EXPECT_EQ(fromJson(out.substr(0, out.rfind('}') + 1)), records[11]);
  EXPECT_EQ(mprecords({"show", "0123"}, &out), 1);
  // The first digits of one id are enough, from the database and from the journal; the
  // digits that begin two ids are not.
  for (int i : {3, 11}) {
    ASSERT_EQ(mprecords({"show", records[i].id.substr(0, 10)}, &out), 0) << out;
    EXPECT_EQ(fromJson(out.substr(0, out.rfind('}') + 1)), records[i]);
  }
  EXPECT_EQ(mprecords({"show", ""}, &out), 1);
  std::string shared;  // the first digit that two ids share, if any
  for (int i = 0; i < 12 && shared.empty(); ++i)
    for (int j = i + 1; j < 12; ++j)
      if (records[i].id[0] == records[j].id[0]) shared = records[i].id.substr(0, 1);
  if (!shared.empty()) {
    EXPECT_EQ(mprecords({"show", shared}, &out), 1);
    EXPECT_THAT(out, HasSubstr("begins more than one record's id"));
  }

  ASSERT_EQ(mprecords({"export", "--csv", "-o", dir / "out.csv"}, &out), 0) << out;
  std::string csv = e2e::readText(dir.path() / "out.csv");
  EXPECT_EQ(csv.substr(0, csvHeader().size()), csvHeader());
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 13);
  EXPECT_THAT(csv, HasSubstr(csvLine(records[10])));
}

TEST_F(Tool, StatsOfAHandCountedShift) {
  // 06:xx: 3 runs, one failing at "program"; 07:xx: 2 runs, one failing at "format" on a
  // port never found.
  struct Run { const char* at; bool ok; const char* port; const char* step; };
  std::vector<Run> runs = {{"2026-12-08T06:05:00.000Z", true, "1-1", ""},
                           {"2026-12-08T06:35:00.000Z", false, "1-2", "program"},
                           {"2026-12-08T06:59:59.999Z", true, "1-2", ""},
                           {"2026-12-08T07:00:00.000Z", false, "", "format"},
                           {"2026-12-08T07:10:00.000Z", true, "1-1", ""}};
  {
    auto base = RecordDatabase::open(db, nullptr);
    std::vector<ProductionRecord> rs;
    for (const Run& run : runs) {
      ProductionRecord r = sampleRecord(0);
      r.startedAt = run.at;
      r.success = run.ok;
      r.port = run.port;
      r.failedStep = run.step;
      r.flashId = 0xECD35195;
      rs.push_back(r);
    }
    ASSERT_EQ(base->insert(rs), 5);
  }
  std::string out;
  ASSERT_EQ(mprecords({"stats"}, &out), 0) << out;
  EXPECT_EQ(out,
            "overall\n"
            "                       runs  success     fail  removed   yield\n"
            "  all                     5        3        2        0   60.0%\n"
            "per hour (UTC)\n"
            "                       runs  success     fail  removed   yield\n"
            "  2026-12-08T06           3        2        1        0   66.7%\n"
            "  2026-12-08T07           2        1        1        0   50.0%\n"
            "per port\n"
            "                       runs  success     fail  removed   yield\n"
            "  -                       1        0        1        0    0.0%\n"
            "  1-1                     2        2        0        0  100.0%\n"
            "  1-2                     2        1        1        0   50.0%\n"
            "per flash identification\n"
            "                       runs  success     fail  removed   yield\n"
            "  ECD35195                5        3        2        0   60.0%\n"
            "failures per step\n"
            "  format                  1\n"
            "  program                 1\n");
  ASSERT_EQ(mprecords({"stats", "--from", "2026-12-08T07"}, &out), 0);
  EXPECT_THAT(out, HasSubstr("  all                     2        1        1        0   50.0%\n"));
}

TEST_F(Tool, ReportIsAPicture) {
  {
    auto base = RecordDatabase::open(db, nullptr);
    ASSERT_EQ(base->insert({sampleRecord(1), sampleRecord(3)}), 2);
  }
  std::string out;
  ASSERT_EQ(mprecords({"report", "-o", dir / "yield.png"}, &out), 0) << out;
  std::string png = e2e::readText(dir.path() / "yield.png");
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(mprecords({"report", "--from", "2030-01-01", "-o", dir / "none.png"}, &out), 1);
  EXPECT_THAT(out, HasSubstr("mprecords: no records to report"));
  EXPECT_FALSE(fs::exists(dir / "none.png"));
  // The name says the format.
  ASSERT_EQ(mprecords({"report", "-o", dir / "yield.JPG"}, &out), 0) << out;
  EXPECT_EQ(e2e::readText(dir.path() / "yield.JPG").substr(0, 3), "\xFF\xD8\xFF");
}

TEST_F(Tool, CommandLine) {
  std::string out;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"list", "--from", "yesterday"}, {"list", "--result", "maybe"},
           {"list", "--flash-id", "XYZ"}, {"list", "--flash-id", "-1"}, {"list", "--flash-id", "+1"},
           {"list", "--flash-id", " 1"}, {"report", "-o", dir / "yield.txt"}, {"show"}, {"export"},
           {"report"}, {"push"}})
    EXPECT_EQ(mprecords(args, &out), 2) << (args.empty() ? "" : args[0]);
  EXPECT_THAT(out, HasSubstr("usage: mprecords"));
  EXPECT_FALSE(fs::exists(dir / "yield.txt")) << "a picture under a name that is not a picture's";
  // Each refusal says its cause.
  struct Why { std::vector<std::string> args; int code; std::string says; };
  for (const Why& w : std::vector<Why>{
           {{"list", "--from", "2026-13"}, 2, "--from 2026-13: not a date"},
           {{"stats", "--from", "2026-12-09", "--to", "2026-12-08"}, 2, "is not before --to"},
           {{"list", "--flash-id", "+1"}, 2, "--flash-id +1: not 1 to 8 hex digits"},
           {{"--dir", dir / "missing", "list"}, 1, "missing: no such folder"}}) {
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), w.args.begin(), w.args.end());
    if (w.args[0] != "--dir") argv.insert(argv.begin() + 1, {"--dir", dir.path().string()});
    EXPECT_EQ(e2e::run(argv, &out), w.code) << w.says;
    EXPECT_THAT(out, HasSubstr("mprecords: "));
    EXPECT_THAT(out, HasSubstr(w.says));
  }
  // No records yet is not an error.
  EXPECT_EQ(mprecords({"list"}, &out), 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << "the header alone";
  // A file that is not a records database is an error that says so.
  for (const std::string& bytes :
       {std::string("not a database, just text long enough to be looked at............"), std::string()})
    for (const char* command : {"stats", "list"}) {
      e2e::writeText(db, bytes);
      EXPECT_EQ(mprecords({command}, &out), 1) << command;
      EXPECT_THAT(out, HasSubstr(db + ": not a records database (")) << command << bytes.size();
    }
}

// A record whose JSON is damaged is listed, exported, shown and counted alike (from its
// columns), and each reader says so.
TEST_F(Tool, DamagedRecordCountsTheSameEverywhere) {
  std::vector<ProductionRecord> rs = {sampleRecord(1), sampleRecord(3), sampleRecord(5)};
  {
    auto base = RecordDatabase::open(db, nullptr);
    ASSERT_EQ(base->insert(rs), 3);
  }
  sqlite3* raw = nullptr;
  sqlite3_open(db.c_str(), &raw);
  sqlite3_exec(raw, ("UPDATE records SET doc = '{\"id\": 7' WHERE id = '" + rs[1].id + "'").c_str(),
               nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  std::string out;
  struct Case { std::vector<std::string> args; int code; std::string has; };
  for (const Case& c : std::vector<Case>{
           {{"list"}, 1, rs[1].id + "  2026-12-08T06:00:03.000Z  line-1        3     H 1-4   fail    program "},
           {{"export", "--csv"}, 1, "\r\n" + rs[1].id + ",line-1,3,H,1-4,"},
           {{"show", rs[1].id}, 1, "\"id\": \"" + rs[1].id + "\""},
           {{"stats"}, 0, "  all                     3        2        1        0   66.7%\n"}}) {
    EXPECT_EQ(mprecords(c.args, &out), c.code) << c.args[0];
    EXPECT_THAT(out, HasSubstr(c.has)) << c.args[0];
    if (c.code) {
      EXPECT_THAT(out, HasSubstr("1 record(s) in " + db + " are damaged")) << c.args[0];
    }
  }
}

TEST_F(Tool, OutputThatCannotBeWrittenFails) {
  ASSERT_EQ(RecordDatabase::open(db, nullptr)->insert({sampleRecord(1), sampleRecord(2)}), 2);
  std::string out;
  for (const char* command : {"list", "stats", "export --csv"}) {
    std::string line = kTool + " --dir " + dir.path().string() + " " + command + " > /dev/full";
    EXPECT_EQ(e2e::run({"/bin/sh", "-c", line}, &out), 1) << command;
    EXPECT_THAT(out, HasSubstr("mprecords: cannot write")) << command;
  }
  EXPECT_EQ(mprecords({"export", "--csv", "-o", "/dev/full"}, &out), 1);
}

}  // namespace
}  // namespace station::records::testing

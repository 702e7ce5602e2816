// The record's forms (JSON, CSV), the file checksum, the filters and the statistics.
#include "records_fixture.h"
#include "station/records/journal.h"
#include "station/records/query.h"
#include "station/records/recorder.h"
#include "station/records/source.h"
#include "platform/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <set>

namespace station::records::testing {
namespace {

TEST(Record, JsonKeepsEveryField) {
  ProductionRecord r = sampleRecord(3);
  r.failText = "tab\there \"quoted\" line\nend";
  r.settings["LabelEdit"] = "A\\B";
  std::optional<ProductionRecord> back = fromJson(toJson(r));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, r);
  EXPECT_EQ(toJson(r).find('\n'), std::string::npos) << "a journal line is one line";

  r.success = false;
  r.removed = true;  // pulled out: a result of its own in every form
  EXPECT_EQ(*fromJson(toJson(r)), r);
  EXPECT_THAT(toJson(r), ::testing::HasSubstr("\"result\":\"removed\""));
  EXPECT_THAT(csvLine(r), ::testing::HasSubstr(",removed,"));
  r.chipVariant.reset();  // the run failed before the variant was read
  r.port.clear();
  EXPECT_EQ(*fromJson(toJson(r)), r);
}

TEST(Record, TextsThatAreNotUtf8StillMakeARecord) {
  ProductionRecord r = sampleRecord(1);
  r.failText = "\xB3\xC9\xB9\xA6 fail";  // a GBK text from lang.ini
  std::optional<ProductionRecord> back = fromJson(toJson(r));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->id, r.id);
  EXPECT_THAT(back->failText, ::testing::EndsWith(" fail"));
}

TEST(Record, NotARecord) {
  for (const char* line : {"", "{", "[]", "{\"station\":\"x\"}", "{\"id\":\"\"}", "{\"id\":\"a\",\"steps\":[[1]]}"})
    EXPECT_FALSE(fromJson(line)) << line;
}

TEST(Record, IdsDiffer) {
  std::set<std::string> ids;
  for (int i = 0; i < 10000; ++i) ids.insert(newRecordId());
  EXPECT_EQ(ids.size(), 10000u);
  EXPECT_EQ(newRecordId().size(), 32u);
}

TEST(Record, CsvQuotesWhatNeedsIt) {
  ProductionRecord r = sampleRecord(3);
  r.failText = "Format, \"Retry\"";
  r.steps = {{"start", 1.5}, {"format", 10}};
  std::string line = csvLine(r);
  EXPECT_THAT(line, ::testing::HasSubstr(",program,\"Format, \"\"Retry\"\"\",ECD35195,"));
  EXPECT_THAT(line, ::testing::HasSubstr(",start=1.5;format=10.0\r\n"));
  EXPECT_THAT(line, ::testing::StartsWith(r.id + ",line-1,3,H,1-4,2026-12-08T06:00:03.000Z,"));
  // as many fields as the header names (no field of the sample holds a comma otherwise)
  std::string header = csvHeader();
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), 18);
}

// Texts a spreadsheet would run as formulas are exported as plain text.
TEST(Record, CsvNeutralisesFormulas) {
  struct Case { std::string station, label, file, wantStation, wantLabel, wantFiles; };
  for (const Case& c : std::vector<Case>{
           {"+cmd|' /C calc'!A0", "=1+1", "-x.bin", "'+cmd|' /C calc'!A0", "'=1+1", "firmware=-x.bin:"},
           {"@SUM(A1)", "\tLABEL", "=HYPERLINK(1)", "'@SUM(A1)", "'\tLABEL", "firmware==HYPERLINK(1):"},
           {"line-1", "MY-AUDIO", "a.bin", "line-1", "MY-AUDIO", "firmware=a.bin:"}}) {
    ProductionRecord r = sampleRecord(1);
    r.station = c.station;
    r.label = c.label;
    r.files = {{"firmware", c.file, ""}};
    r.slot = -1;  // a number keeps its sign
    std::string line = csvLine(r);
    EXPECT_THAT(line, ::testing::StartsWith(r.id + "," + c.wantStation + ",-1,")) << c.station;
    EXPECT_THAT(line, ::testing::HasSubstr("," + c.wantLabel + "," + c.wantFiles + ",")) << c.label;
  }
}

TEST(Record, Crc32) {
  EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
  ScratchDir dir("crc");
  {
    std::ofstream(dir / "a.bin", std::ios::binary) << "123456789";
  }
  EXPECT_EQ(fileCrc32(dir / "a.bin"), "CBF43926");
  EXPECT_EQ(fileCrc32(dir / "missing.bin"), "");
  // a changed file is read again, not taken from what was remembered
  {
    std::ofstream(dir / "a.bin", std::ios::binary | std::ios::trunc) << "12345678";
  }
  fs::last_write_time(dir / "a.bin", fs::last_write_time(dir / "a.bin") + std::chrono::seconds(5));
  EXPECT_NE(fileCrc32(dir / "a.bin"), "CBF43926");
}

TEST(Query, NormalizeTime) {
  struct Case { const char* in; const char* out; };
  for (const Case& c : std::vector<Case>{
           {"2026-12-08", "2026-12-08"},
           {"2026-12-08 06", "2026-12-08T06"},
           {"2026-12-08T06:30", "2026-12-08T06:30"},
           {"2026-12-08 06:30:15", "2026-12-08T06:30:15"},
           {"2026-12-8", ""},
           {"2026-12-08T6", ""},
           {"yesterday", ""},
           {"2026-12-08T06:30:15.5", ""}})
    EXPECT_EQ(normalizeTime(c.in), c.out) << c.in;
}

// What the report shows an engineer: steps by the row text that failed, times in the
// machine's zone when asked (here a fixed UTC+8 zone, across a day, a year and a leap day).
TEST(Query, ReportWords) {
  for (auto [step, title] : std::vector<std::pair<const char*, const char*>>{
           {"prefer", "Prefer Writing"}, {"variant", "Chip bonding ID check"}, {"copy", "Copy Files"},
           {"flash_id", "Flash Check"}, {"unheard_of", "unheard_of"}})
    EXPECT_EQ(stepTitle(step), title) << step;

  const char* was = std::getenv("TZ");
  const std::string saved = was ? was : "";
  platform::setEnvironment("TZ", "UTC-8");
  tzset();
  struct Case { const char* in; bool toLocal; const char* out; };
  for (const Case& c : std::vector<Case>{{"2026-12-08T06", true, "2026-12-08T14"},
                                         {"2026-12-31T20", true, "2027-01-01T04"},
                                         {"2024-02-28T20", true, "2024-02-29T04"},
                                         {"2026-12-08", false, "2026-12-07T16:00"},
                                         {"2026-12-08T06:30", false, "2026-12-07T22:30"}})
    EXPECT_EQ(shiftTime(c.in, c.toLocal), c.out) << c.in;
  platform::setEnvironment("TZ", saved);
  tzset();
}

TEST(Query, Filters) {
  StatRow row{"x", "2026-12-08T06:59:59.999Z", false, "1-3", 0xECD35195, "program"};
  struct Case { Filter f; bool match; };
  auto from = [](std::string v) { Filter f; f.from = v; return f; };
  auto to = [](std::string v) { Filter f; f.to = v; return f; };
  Filter ok, failed, port, noPort, flash, other;
  ok.result = "success";
  failed.result = "fail";
  port.port = "1-3";
  noPort.port = "";
  flash.flashId = 0xECD35195;
  other.flashId = 0x98D79432;
  for (const Case& c : std::vector<Case>{
           {Filter{}, true},
           {from("2026-12-08T06"), true},    // from: inclusive, at the hour's start
           {from("2026-12-08T07"), false},
           {to("2026-12-08T07"), true},      // to: exclusive
           {to("2026-12-08T06"), false},
           {to("2026-12-08"), false},
           {to("2026-12-09"), true},
           {ok, false}, {failed, true}, {port, true}, {noPort, false}, {flash, true}, {other, false}})
    EXPECT_EQ(c.f.matches(row), c.match) << c.f.from << "|" << c.f.to;
  // A pulled player is neither a success nor a failure.
  Filter gone;
  gone.result = "removed";
  EXPECT_FALSE(gone.matches(row));
  row.removed = true;
  EXPECT_TRUE(gone.matches(row));
  EXPECT_FALSE(failed.matches(row));
}

// Seven runs counted by hand, one of them pulled out.
std::vector<StatRow> handCase() {
  return {
      {"1", "2026-12-08T06:10:00.000Z", true, "1-1", 0xECD35195, ""},
      {"2", "2026-12-08T06:20:00.000Z", false, "1-2", 0xECD35195, "program"},
      {"3", "2026-12-08T06:50:00.000Z", true, "1-1", 0x98D79432, ""},
      {"4", "2026-12-08T07:05:00.000Z", false, "1-2", 0x98D79432, "flash_test"},
      {"5", "2026-12-08T07:30:00.000Z", false, "", 0, "manager"},
      {"6", "2026-12-08T07:45:00.000Z", true, "1-1", 0xECD35195, ""},
      {"7", "2026-12-08T07:50:00.000Z", false, "1-2", 0xECD35195, "format", true},  // pulled out
  };
}

const char kHandStats[] =
    "overall\n"
    "                       runs  success     fail  removed   yield\n"
    "  all                     7        3        3        1   42.9%\n"
    "per hour (UTC)\n"
    "                       runs  success     fail  removed   yield\n"
    "  2026-12-08T06           3        2        1        0   66.7%\n"
    "  2026-12-08T07           4        1        2        1   25.0%\n"
    "per port\n"
    "                       runs  success     fail  removed   yield\n"
    "  -                       1        0        1        0    0.0%\n"
    "  1-1                     3        3        0        0  100.0%\n"
    "  1-2                     3        0        2        1    0.0%\n"
    "per flash identification\n"
    "                       runs  success     fail  removed   yield\n"
    "  00000000                1        0        1        0    0.0%\n"
    "  98D79432                2        1        1        0   50.0%\n"
    "  ECD35195                4        2        1        1   50.0%\n"
    "failures per step\n"
    "  flash_test              1\n"
    "  manager                 1\n"
    "  program                 1\n";

TEST(Query, StatsOfAHandCountedCase) {
  Stats s;
  for (const StatRow& row : handCase()) s.add(row);
  EXPECT_EQ(s.overall, (Tally{7, 3, 1}));
  EXPECT_EQ(s.perHour.at("2026-12-08T07"), (Tally{4, 1, 1}));
  EXPECT_EQ(s.perPort.at("-"), (Tally{1, 0}));
  EXPECT_EQ(s.failuresPerStep.size(), 3u);
  EXPECT_EQ(formatStats(s), kHandStats);
}

// The same six runs as journal lines (the Windows station's record), one of them written
// twice and one line damaged: each run counts once, the damage is skipped.
TEST(Query, StatsFromJournals) {
  ScratchDir dir("stats");
  std::vector<ProductionRecord> records;
  for (const StatRow& row : handCase()) {
    ProductionRecord r = sampleRecord(1);
    r.id = "id" + row.id;
    r.startedAt = row.startedAt;
    r.success = row.success;
    r.port = row.port;
    r.flashId = row.flashId;
    r.failedStep = row.failedStep;
    r.removed = row.removed;
    records.push_back(r);
  }
  for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(appendJournalLine(dir / "a.journal", toJson(records[i])));
  ASSERT_TRUE(appendJournalLine(dir / "a.journal", "{\"id\":\"broken"));
  for (size_t i = 3; i < 7; ++i) ASSERT_TRUE(appendJournalLine(dir / "b.journal", toJson(records[i])));
  Stats s;
  std::string error;
  ASSERT_TRUE(forEachStatRow({"", {dir / "a.journal", dir / "b.journal", dir / "none.journal"}},
                             [&](const StatRow& row) { s.add(row); }, &error))
      << error;
  EXPECT_EQ(formatStats(s), kHandStats);
  Stats collected;
  Filter late;
  late.from = "2026-12-08T07";
  ASSERT_TRUE(collectStats({"", {dir / "a.journal", dir / "b.journal"}}, late, collected, &error));
  EXPECT_EQ(collected.overall, (Tally{4, 1, 1}));
}

}  // namespace
}  // namespace station::records::testing

// The station produces simulated players (successes, a fault, a wrong chip variant, one
// pulled out during its run) and each run leaves exactly one record with the right fields.
#include "station_harness.h"
#include "station/records/database.h"
#include "station/records/recorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace station::e2e {
namespace {

using records::ProductionRecord;

const fs::path kDist = TARN_DIST_DIR;

std::map<std::string, std::vector<ProductionRecord>> recordsByDrive(const fs::path& db) {
  std::map<std::string, std::vector<ProductionRecord>> out;
  auto base = records::RecordDatabase::open(db.string(), nullptr);
  if (base) base->forEach([&](ProductionRecord&& r, int64_t) { out[r.drive].push_back(r); });
  return out;
}

TEST(RecordsOfAProduction, EachRunOnceWithItsFields) {
  StationFolder folder(kDist, "records");
  folder.settings({{"Format", "0"}, {"Blanking check", "0"}, {"FwUpgrade", "1"},
                   {"ISO upgrade", "0"}, {"Manual Upgrade", "0"}, {"FwParityCheck", "1"},
                   {"Label", "TARNREC"}});
  fs::path program = folder.file("program.bin", firmwareImage(1));
  fs::path prefer = folder.file("prefer.dat", std::string(4096, '\x5A'));
  folder.copyList({program, prefer, folder.file("song.mp3", "ID3" + std::string(5000, '\x11'))});

  ASSERT_TRUE(folder.create({'E', 256, "ECD35195"}));
  ASSERT_TRUE(folder.create({'F', 256, "ECD35195"}));
  ASSERT_TRUE(folder.create({'H', 128, "98D79432"}));
  ASSERT_TRUE(folder.create({'I', 256, "ECD35195", 2}));          // built for variant 1
  ASSERT_TRUE(folder.create({'G', 256, "ECD35195", 1, 50}));      // slow enough to catch
  ASSERT_EQ(folder.tarnsim({"fault", folder.sim().string(), "F", "wt_pgr"}), 0);

  setenv("TARN_STATION", "line-e2e", 1);
  {
    HeadlessStation station(folder, 5);
    ASSERT_TRUE(station.waitForLine("ready"));
    for (char c : {'E', 'F', 'H', 'I'}) ASSERT_TRUE(folder.plug(c));
    ASSERT_TRUE(station.waitForLine("row 4: "));
    ASSERT_TRUE(folder.plug('G'));
    ASSERT_TRUE(station.waitForLine("row 5: \"Program Write Setup...\""));
    ASSERT_TRUE(folder.unplug('G'));
    EXPECT_EQ(station.finish().status, 1);
  }

  fs::path db = folder.dir() / "misc" / "records.db";
  // The station folded its log into the file at close: the file alone holds every record.
  fs::copy_file(db, folder.dir() / "copied.db");
  EXPECT_EQ(recordsByDrive(folder.dir() / "copied.db").size(), 5u);
  auto byDrive = recordsByDrive(db);
  ASSERT_EQ(byDrive.size(), 5u);
  for (const auto& [drive, rs] : byDrive) EXPECT_EQ(rs.size(), 1u) << drive;

  const ProductionRecord& e = byDrive["E"][0];
  EXPECT_TRUE(e.success);
  EXPECT_EQ(e.station, "line-e2e");
  EXPECT_EQ(e.slot, 0);
  EXPECT_FALSE(e.port.empty());
  EXPECT_EQ(e.flashId, 0xECD35195u);
  EXPECT_EQ(e.chipVariant, 1u);
  EXPECT_EQ(e.capacityMib, 256u);
  EXPECT_EQ(e.fileSystem, "FAT32");
  EXPECT_EQ(e.label, "TARNREC");
  EXPECT_EQ(e.settings.at("chkParityCheck"), "1");
  std::map<std::string, records::FileMark> files;
  for (const auto& f : e.files) files[f.role] = f;
  EXPECT_EQ(files["firmware"].name, "program.bin");
  EXPECT_EQ(files["firmware"].crc32, records::fileCrc32(program.string()));
  EXPECT_EQ(files["prefer"].crc32, records::fileCrc32(prefer.string()));
  EXPECT_THAT(files["table"].name, ::testing::EndsWith(".txt"));
  EXPECT_EQ(files["table"].crc32.size(), 8u);
  EXPECT_GE(e.steps.size(), 10u);
  EXPECT_LT(e.startedAt, e.endedAt);

  const ProductionRecord& f = byDrive["F"][0];
  EXPECT_FALSE(f.success);
  EXPECT_EQ(f.failedStep, "program");
  EXPECT_EQ(f.failText, "Program Writing fail");
  EXPECT_EQ(f.capacityMib, 0u);

  const ProductionRecord& h = byDrive["H"][0];
  EXPECT_TRUE(h.success);
  EXPECT_EQ(h.flashId, 0x98D79432u);
  EXPECT_EQ(h.fileSystem, "FAT16");

  const ProductionRecord& i = byDrive["I"][0];
  EXPECT_FALSE(i.success);
  EXPECT_EQ(i.failedStep, "variant");
  EXPECT_EQ(i.chipVariant, 2u);
  EXPECT_EQ(i.failText, "SDK bonding ID not match 1");

  const ProductionRecord& g = byDrive["G"][0];
  EXPECT_FALSE(g.success);
  EXPECT_TRUE(g.removed) << "pulled out: a result of its own";
  for (const char* d : {"E", "F", "H", "I"}) EXPECT_FALSE(byDrive[d][0].removed) << d;
  EXPECT_FALSE(g.failedStep.empty());
  EXPECT_THAT(g.failText, ::testing::EndsWith(" fail"));

  // A second start of the station adds its own runs and keeps the first start's once each.
  ASSERT_TRUE(folder.unplug('E'));
  {
    HeadlessStation station(folder, 1);
    ASSERT_TRUE(station.waitForLine("ready"));
    ASSERT_TRUE(folder.plug('E'));
    EXPECT_EQ(station.finish().status, 0);
  }
  byDrive = recordsByDrive(db);
  EXPECT_EQ(byDrive["E"].size(), 2u);
  EXPECT_NE(byDrive["E"][0].id, byDrive["E"][1].id);
  std::string out;
  ASSERT_EQ(run({(kDist / "mprecords").string(), "--dir", folder.dir().string(), "list"}, &out), 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 7) << "a header and six records";
  unsetenv("TARN_STATION");
}

}  // namespace
}  // namespace station::e2e

namespace station::e2e {
namespace {

// Every front end ends the same way: at its run limit, or on SIGTERM closed as its window
// would (settings saved, the records folded into the database file), with the same exit
// codes; the window writes its picture at the run limit.
TEST(RecordsOfAProduction, EveryFrontEndClosesTheSameWay) {
  struct Case {
    const char* name;
    bool headless;
    bool bySignal;
  };
  const Case cases[] = {
      {"headless at its run limit", true, false},
      {"headless on SIGTERM", true, true},
      {"window at its run limit", false, false},
      {"window on SIGTERM", false, true},
  };
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StationFolder folder(kDist, "frontends");
    folder.settings({{"Format", "0"}, {"Blanking check", "0"}, {"FwUpgrade", "1"}, {"ISO upgrade", "0"},
                     {"Manual Upgrade", "0"}, {"FwParityCheck", "1"}, {"Label", "TARNREC"}});
    folder.copyList({folder.file("program.bin", firmwareImage(1)), folder.file("prefer.dat", std::string(4096, 'Z')),
                     folder.file("song.mp3", "ID3 tune")});
    ASSERT_TRUE(folder.create({'E', 256, "ECD35195"}));
    const fs::path picture = folder.dir() / "window.png";
    std::vector<std::string> extra;
    if (!c.headless && !c.bySignal) extra = {"--screenshot", picture.string()};
    const fs::path db = folder.dir() / "misc" / "records.db";
    {
      HeadlessStation station(folder, c.bySignal ? 0 : 1, 120, extra, false, true, c.headless);
      ASSERT_TRUE(station.waitForLine("ready"));
      ASSERT_TRUE(folder.plug('E'));
      if (c.bySignal) {
        // Tallied once its record is there; the station runs on until the signal.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (recordsByDrive(db)["E"].empty() && std::chrono::steady_clock::now() < until)
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        station.signal(SIGTERM);
      }
      EXPECT_EQ(station.finish().status, 0);
    }
    EXPECT_TRUE(fs::exists(folder.dir() / "misc" / "prefer.ini")) << "closed as the window would";
    fs::copy_file(db, folder.dir() / "copied.db");
    EXPECT_EQ(recordsByDrive(folder.dir() / "copied.db")["E"].size(), 1u) << "the file alone holds the record";
    if (!c.headless && !c.bySignal) {
      std::error_code ec;
      EXPECT_GT(fs::file_size(picture, ec), 1000u) << "the window's picture";
    }
  }
  unsetenv("QT_QPA_PLATFORM");
}

}  // namespace
}  // namespace station::e2e

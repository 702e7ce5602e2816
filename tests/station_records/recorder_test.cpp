// The recorder driven by the production sequence itself (scripted player, recording
// window): each run gives one record with what the run found, where it failed and how
// long its steps took.
#include "support/scripted_run.h"
#include "records_fixture.h"
#include "station/engine/run_observer.h"
#include "station/records/journal.h"
#include "station/records/recorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace station::records::testing {
namespace {

using station::testing::FakeStation;
using station::testing::RecordingPauses;
using station::testing::ScriptedDevice;
using station::testing::Trace;

class Recording : public ::testing::Test {
 protected:
  Recording() : dir("recorder") {
    view.drive[2] = 'E';
    std::ofstream(dir / "program.bin", std::ios::binary) << "123456789";
    std::ofstream(dir / "FT_EC_D3_51_95.txt", std::ios::binary) << "table";
    view.files = {dir / "program.bin", dir / "song.mp3"};
    dev.packageIndex[0] = 0;
    StoreOptions o;  // the journal alone, so this runs where there is no database too
    o.journalPath = dir / "records.journal";
    store = std::make_unique<RecordStore>(o);
  }

  // One run; the records the journal then holds.
  std::vector<ProductionRecord> run() {
    ProductionRecorder recorder(view, view, {store.get(), "line-7", dir.path().string(),
                                       [this](PackageKind k) { return dev.packageIndex[int(k) - 1]; }});
    runProduction(view, view, dev, pauses, 'E', &recorder);
    std::vector<ProductionRecord> out;
    forEachJournalRecord(dir / "records.journal", [&](ProductionRecord&& r) { out.push_back(r); });
    return out;
  }

  ScratchDir dir;
  Trace trace;
  FakeStation view{trace};
  ScriptedDevice dev{trace};
  RecordingPauses pauses{trace};
  std::unique_ptr<RecordStore> store;
};

std::vector<std::string> stepNames(const ProductionRecord& r) {
  std::vector<std::string> out;
  for (const StepTime& s : r.steps) out.push_back(s.step);
  return out;
}

TEST_F(Recording, SuccessfulRun) {
  dev.script["sizeMB"] = {129};
  dev.script["readBondingId"] = {0x0101};
  view.labelText = "TARN";
  std::vector<ProductionRecord> records = run();
  ASSERT_EQ(records.size(), 1u);
  const ProductionRecord& r = records[0];
  EXPECT_EQ(r.station, "line-7");
  EXPECT_EQ(r.slot, 2);
  EXPECT_EQ(r.drive, "E");
  EXPECT_EQ(r.port, "0-5");
  EXPECT_TRUE(r.success);
  EXPECT_FALSE(r.unreset);
  EXPECT_EQ(r.failedStep, "");
  EXPECT_EQ(r.flashId, 0xECD35195u);
  EXPECT_EQ(r.chipCount, 1u);
  EXPECT_EQ(r.chipVariant, 1u);  // the answer's low byte
  EXPECT_EQ(r.capacityMib, 129u);
  EXPECT_EQ(r.fileSystem, "FAT32");
  EXPECT_EQ(r.label, "TARN");
  EXPECT_EQ(r.settings.at("chkFwUpgrade"), "1");
  EXPECT_EQ(r.settings.at("chkFormat"), "0");
  EXPECT_EQ(r.settings.at("sdkBondingId"), "1");
  EXPECT_TRUE(r.settings.count("systemAreaUnits"));
  EXPECT_THAT(r.files, ::testing::ElementsAre(FileMark{"table", "FT_EC_D3_51_95.txt", fileCrc32(dir / "FT_EC_D3_51_95.txt")},
                                              FileMark{"firmware", "program.bin", "CBF43926"}));
  EXPECT_THAT(stepNames(r), ::testing::ElementsAre("start", "manager", "variant", "flash_id",
                                                   "config_table", "flash_test", "program",
                                                   "prefer", "bad_block_poll", "capacity", "label",
                                                   "copy", "volume_check", "end"));
  EXPECT_LE(r.startedAt, r.endedAt);
  EXPECT_EQ(r.startedAt.size(), 24u);
}

// Where a run fails, the record names the step and the row's red text.
TEST_F(Recording, FailingSteps) {
  struct Case { const char* op; const char* step; const char* text; };
  for (const Case& c : std::vector<Case>{
           {"writeManagerStart", "manager", "FLASH Write Setup fail"},
           {"readFlashId", "flash_id", "Flash Check fail"},
           {"badBlockStart", "flash_test", "Bad Block Check fail"},
           {"writePackage", "program", "Program Writing fail"},
           {"badBlockPoll", "bad_block_poll", "Bad Block Check fail"},
           {"copy", "copy", "Copy Files fail"}}) {
    SCOPED_TRACE(c.op);
    std::filesystem::remove(dir / "records.journal");
    dev.script.clear();
    dev.script[c.op] = {0};
    std::vector<ProductionRecord> records = run();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].success);
    EXPECT_EQ(records[0].failedStep, c.step);
    EXPECT_EQ(records[0].failText, view.status[2]);
    EXPECT_EQ(records[0].failText, c.text);
    EXPECT_EQ(stepNames(records[0]).back(), "end");
    EXPECT_FALSE(records[0].removed);
  }
  // The same failure with the player pulled out first (its slot released): removed.
  std::filesystem::remove(dir / "records.journal");
  dev.script.clear();
  dev.script["writePackage"] = {0};
  dev.before["writePackage"] = [this] { view.drive[2] = 0; };
  std::vector<ProductionRecord> pulled = run();
  ASSERT_EQ(pulled.size(), 1u);
  EXPECT_TRUE(pulled[0].removed);
  EXPECT_FALSE(pulled[0].success);
}

TEST_F(Recording, ChipVariantMismatch) {
  dev.script["readBondingId"] = {3};
  std::vector<ProductionRecord> records = run();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].failedStep, "variant");
  EXPECT_EQ(records[0].chipVariant, 3u);
  EXPECT_EQ(records[0].flashId, 0u);  // never read
  EXPECT_EQ(records[0].capacityMib, 0u);
  EXPECT_EQ(records[0].fileSystem, "");
}

TEST_F(Recording, FinishedPlayerIsASuccessWithoutFlashWork) {
  dev.script["isTarn"] = {1};
  dev.labels = {"MY_AUDIO"};
  std::vector<ProductionRecord> records = run();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].success);
  EXPECT_TRUE(records[0].unreset);
  EXPECT_TRUE(records[0].files.empty());
}

// A run that finds no slot is not tallied, so it leaves no record.
TEST_F(Recording, NoSlotNoRecord) {
  view.drive[2] = 0;
  EXPECT_TRUE(run().empty());
}

// Without a store (recording disabled) and without an observer the run is the same run.
TEST_F(Recording, DisabledRecorderChangesNothing) {
  auto traceOf = [&](RunObserver* observer) {
    Trace t;
    FakeStation v{t};
    ScriptedDevice d{t};
    RecordingPauses p{t};
    v.drive[2] = 'E';
    v.files = view.files;
    runProduction(v, v, d, p, 'E', observer);
    return t.events;
  };
  ProductionRecorder idle(view, view, {});
  EXPECT_EQ(traceOf(&idle), traceOf(nullptr));
  EXPECT_FALSE(std::filesystem::exists(dir / "records.journal"));
}

}  // namespace
}  // namespace station::records::testing

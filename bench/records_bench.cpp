// Production records: what a record costs a run, statistics over a million records, a push
// of a hundred thousand into a PostgreSQL server started here. Prints figures; run by hand.
//   records_bench                  all three (the push only where PostgreSQL is installed)
//   records_bench --shift DB RUNS  writes a simulated shift of RUNS runs into DB (for the
//                                  report picture) and ends
#include "pg_server.h"
#include "records_fixture.h"
#include "station/records/database.h"
#include "station/records/push.h"
#include "station/records/query.h"
#include "station/records/recorder.h"
#include "station/records/source.h"
#include "station/records/store.h"
#include "support/scripted_run.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <random>

using namespace station;
using namespace station::records;
using namespace station::records::testing;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void printSpread(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  double sum = 0;
  for (double v : ms) sum += v;
  std::printf("%-34s runs %zu  mean %.3f ms  median %.3f ms  p99 %.3f ms  max %.3f ms\n", what,
              ms.size(), sum / ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
}

// What recording adds to one run: the recorder's calls during the run and its record at
// the tally, with a firmware image of 1 MiB whose checksum is remembered after the first.
void recordingCost() {
  ScratchDir dir("bench_cost");
  {
    std::ofstream(dir / "program.bin", std::ios::binary) << std::string(1 << 20, 'p');
    std::ofstream(dir / "table.txt", std::ios::binary) << std::string(512, 't');
  }
  for (bool withDatabase : {true, false}) {
    StoreOptions o;
    if (withDatabase) o.databasePath = dir / "records.db";
    o.journalPath = dir / (withDatabase ? "records.journal" : "only.journal");
    RecordStore store(o);
    station::testing::Trace trace;
    station::testing::FakeStation view(trace);
    view.files = {dir / "program.bin"};
    std::vector<double> ms;
    for (int i = 0; i < 3000; ++i) {
      auto t = Clock::now();
      ProductionRecorder r(view, view, {&store, "bench", dir.path().string(), [](PackageKind) { return 0; }});
      r.runBegan('E', i % 8);
      for (const char* s : {"start", "manager", "variant", "flash_id"}) r.stepBegan(s);
      r.portFound(1, 1 + i % 8);
      r.chipVariant(1);
      r.systemArea(32);
      r.flashIdentified(0xECD35195, 1, "table.txt");
      for (const char* s : {"config_table", "flash_test", "program"}) r.stepBegan(s);
      r.packageWritten(PackageKind::Firmware);
      for (const char* s : {"prefer", "parity", "bad_block_poll", "capacity"}) r.stepBegan(s);
      r.capacity(256, true);
      for (const char* s : {"label", "copy", "volume_check", "end"}) r.stepBegan(s);
      r.runEnding(true, false);
      ms.push_back(msSince(t));
    }
    printSpread(withDatabase ? "recording cost, SQLite (WAL)" : "recording cost, journal only", ms);
  }
}

// A simulated shift: eight ports, three flash kinds, one port with a bad cable, faults
// spread over the steps, more of them late in the shift.
std::vector<ProductionRecord> shift(int runs, std::mt19937& rng, const std::string& station,
                                    int startHour = 6, int hours = 8) {
  const uint32_t flashes[] = {0xECD35195, 0x98D79432, 0xADDA1095};
  const char* steps[] = {"manager", "flash_id", "flash_test", "program", "prefer", "format", "copy"};
  const double stepWeight[] = {1, 2, 6, 3, 1, 2, 1};
  std::discrete_distribution<int> pickStep(std::begin(stepWeight), std::end(stepWeight));
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<ProductionRecord> out;
  for (int i = 0; i < runs; ++i) {
    ProductionRecord r = sampleRecord(i, station);
    int second = static_cast<int>(static_cast<double>(i) / runs * hours * 3600) + static_cast<int>(u(rng) * 30);
    char t[32];
    std::snprintf(t, sizeof t, "2026-12-08T%02d:%02d:%02d.%03dZ", startHour + second / 3600,
                  second / 60 % 60, second % 60, static_cast<int>(u(rng) * 1000));
    r.startedAt = t;
    r.endedAt = t;
    int port = static_cast<int>(u(rng) * 8) + 1;
    r.port = u(rng) < 0.02 ? "" : "1-" + std::to_string(port);
    r.slot = port - 1;
    r.flashId = flashes[static_cast<int>(u(rng) * 3)];
    double failRate = 0.04 + (port == 6 ? 0.12 : 0) + (r.flashId == 0xADDA1095 ? 0.05 : 0) +
                      (second > 5 * 3600 ? 0.03 : 0);
    r.success = u(rng) >= failRate;
    r.failedStep = r.success ? "" : steps[pickStep(rng)];
    r.failText = r.success ? "" : r.failedStep + " fail";
    out.push_back(std::move(r));
  }
  return out;
}

void statsOverAMillion() {
  ScratchDir dir("bench_stats");
  std::string db = dir / "records.db";
  std::mt19937 rng(7);
  auto t = Clock::now();
  {
    auto base = RecordDatabase::open(db, nullptr);
    for (int i = 0; i < 100; ++i) base->insert(shift(10000, rng, "line-" + std::to_string(i % 4), 6, 12));
  }
  std::printf("%-34s %.1f s (1,000,000 records, %.0f MB)\n", "making the database", msSince(t) / 1000,
              static_cast<double>(fs::file_size(db)) / 1e6);
  for (int round = 0; round < 3; ++round) {
    t = Clock::now();
    std::clock_t cpu = std::clock();
    Stats s;
    collectStats({db, {}}, {}, s, nullptr);
    std::printf("%-34s %.0f ms, CPU %.0f ms (%lld records, yield %.1f%%)\n",
                "stats over 1,000,000 records", msSince(t),
                1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC,
                static_cast<long long>(s.overall.total), s.overall.yield());
  }
  t = Clock::now();
  std::string out;
  e2e::run({std::string(TARN_DIST_DIR) + "/mprecords", "--db", db, "stats"}, &out);
  std::printf("%-34s %.0f ms\n", "mprecords stats (whole program)", msSince(t));
}

void pushOfAHundredThousand() {
  PgServer server;
  if (!server.running()) {
    std::printf("push: skipped (%s)\n", server.why().c_str());
    return;
  }
  ScratchDir dir("bench_push");
  std::string db = dir / "records.db";
  std::mt19937 rng(11);
  {
    auto base = RecordDatabase::open(db, nullptr);
    for (int i = 0; i < 10; ++i) base->insert(shift(10000, rng, "line-1"));
  }
  auto t = Clock::now();
  PushResult r = pushRecords({db, {}}, server.url());
  std::printf("%-34s %.2f s (%lld sent, %lld new%s%s)\n", "push of 100,000 records", msSince(t) / 1000,
              static_cast<long long>(r.sent), static_cast<long long>(r.added), r.ok ? "" : ", failed: ",
              r.error.c_str());
  t = Clock::now();
  r = pushRecords({db, {}}, server.url());
  std::printf("%-34s %.3f s (%lld sent)\n", "the same push again", msSince(t) / 1000,
              static_cast<long long>(r.sent));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--shift") {
    std::mt19937 rng(2026);
    auto base = RecordDatabase::open(argv[2], nullptr);
    if (!base) return 1;
    int n = base->insert(shift(std::atoi(argv[3]), rng, "line-1"));
    std::printf("%d runs written to %s\n", n, argv[2]);
    return n > 0 ? 0 : 1;
  }
  recordingCost();
  statsOverAMillion();
  pushOfAHundredThousand();
  return 0;
}

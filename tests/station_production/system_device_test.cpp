// The station's own device as the run sees it: what the blanking check shows on the row.
#include "support/recording_station.h"
#include "support/scripted_run.h"

#include <gtest/gtest.h>

namespace station::testing {
namespace {

TEST(BlankingCheckRow, PercentBarAndBlink) {
  struct Case {
    bool ticked;
    std::vector<uint32_t> answers;
    bool result;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {true, {0x1400, 0x3200, 0x6401}, true,
       {"text 2 Blanking Check 20% red", "bar 2 32", "text 2 Blanking Check 50% red", "bar 2 57",
        "text 2 Blanking Check 100% red", "bar 2 100", "colour 2 window"}},
      {false, {0x1400, 0x6401}, true,
       {"text 2 Blanking Check 20% red", "bar 2 20", "text 2 Blanking Check 100% red", "bar 2 40",
        "colour 2 window"}},
      {true, {0x1400, 1}, false,
       {"text 2 Blanking Check 20% red", "bar 2 32", "text 2 Blanking Check 0% red", "bar 2 15"}},
      // Four looks red, then four in the window-text colour.
      {true, {0, 0x0A00, 0x1400, 0x1E00, 0x2800, 0x3200, 0x3C00, 0x4600, 0x5000, 0x6401}, true,
       {"text 2 Blanking Check 0% red", "bar 2 15", "text 2 Blanking Check 10% red", "bar 2 23",
        "text 2 Blanking Check 20% red", "bar 2 32", "text 2 Blanking Check 30% window",
        "bar 2 40", "text 2 Blanking Check 40% window", "bar 2 49",
        "text 2 Blanking Check 50% window", "bar 2 57", "text 2 Blanking Check 60% window",
        "bar 2 66", "text 2 Blanking Check 70% red", "bar 2 74",
        "text 2 Blanking Check 80% red", "bar 2 83", "text 2 Blanking Check 100% red",
        "bar 2 100", "colour 2 window"}},
      {true, {0x1400, 0xC0000005}, false, {"text 2 Blanking Check 20% red", "bar 2 32"}},
  };
  for (const auto& c : cases) {
    FakeLauncher launcher;
    Trace trace;
    FakeStation station(trace);
    station.blankCheckTicked = c.ticked;
    for (uint32_t a : c.answers) launcher.answer({a});
    auto device = makeProductionDevice(station, station, launcher, nullptr, nullptr, "misc");
    EXPECT_EQ(device->blankCheckPoll('H', 2), c.result);
    EXPECT_EQ(trace.events, c.events);
  }
}

}  // namespace
}  // namespace station::testing

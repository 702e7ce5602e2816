// The system area size from the copy list and the operator's fixed size.
#include "support/recording_station.h"
#include "station/engine/system_area.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace station {
namespace {

class SystemArea : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testing::scratchDir("area");
    testing::sizedFile(dir / "program.bin", 1000000);
    testing::sizedFile(dir / "prefer.dat", 300000);
    testing::sizedFile(dir / "image.iso", 20000000);
    // Its own folder: case-insensitive file systems would take it for program.bin.
    std::filesystem::create_directories(dir / "mixed");
    testing::sizedFile(dir / "mixed" / "Program.bin", 900000000);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string f(const char* name) { return (dir / name).string(); }
  std::filesystem::path dir;
};

TEST_F(SystemArea, NeededSteps) {
  struct Case {
    std::vector<std::string> list;
    bool iso;
    int steps;
    std::string label;
  } cases[] = {
      {{}, false, 1, "area System Area Size: 4MB"},
      {{f("program.bin"), f("prefer.dat")}, false, 2, "area System Area Size: 8MB"},
      {{f("program.bin"), f("prefer.dat"), f("image.iso")}, true, 12, "area System Area Size: 48MB"},
      {{f("program.bin"), f("prefer.dat"), f("image.iso")}, false, 2, "area System Area Size: 8MB"},
      {{f("mixed/Program.bin"), f("prefer.dat")}, false, 2, "area System Area Size: 8MB"},
      // Listed but gone: counts nothing.
      {{f("gone/program.bin")}, false, 1, "area System Area Size: 4MB"},
  };
  for (const auto& c : cases) {
    testing::RecordingStation view;
    view.files = c.list;
    view.iso = c.iso;
    EXPECT_EQ(computeSystemArea(view, view), c.steps);
    EXPECT_EQ(view.events, (std::vector<std::string>{c.label}));
  }
}

TEST_F(SystemArea, Arithmetic) {
  EXPECT_EQ(neededSystemAreaBytes(1000000, 300000, 0, false), 8388608);
  EXPECT_EQ(neededSystemAreaBytes(1000000, 300000, 20000000, true), 50331648);
  EXPECT_EQ(neededSystemAreaBytes(-1, -1, -1, true), 4194304);
  EXPECT_EQ(neededSystemAreaBytes(512, 0, 0, false), 8388608);  // 2 MB + 512, doubled
  // A CD image above 2 GB does not wrap.
  EXPECT_EQ(neededSystemAreaBytes(0, 0, 3000000000LL, true), 6006243328LL);
}

TEST_F(SystemArea, FixedSize) {
  struct Case {
    int comboIndex;
    int steps;
    std::vector<std::string> events;
  } cases[] = {
      {15, 16, {"area System Area Size: 48MB", "area System Area Size: 64MB"}},
      {11, 12, {"area System Area Size: 48MB", "area System Area Size: 48MB"}},
      {1, 12,
       {"area System Area Size: 48MB", "area System Area Size: 8MB",
        "message The system area size you set is too small, system set to proper size! | size is "
        "too small | 0",
        "combo 11", "area System Area Size: 48MB"}},
      {-1, 12,
       {"area System Area Size: 48MB", "area System Area Size: 1MB",
        "message The system area size you set is too small, system set to proper size! | size is "
        "too small | 0",
        "combo 11", "area System Area Size: 48MB"}},
  };
  for (const auto& c : cases) {
    testing::RecordingStation view;
    view.files = {f("program.bin"), f("prefer.dat"), f("image.iso")};
    view.iso = true;
    view.fixed = true;
    view.comboIndex = c.comboIndex;
    EXPECT_EQ(computeSystemArea(view, view), c.steps);
    EXPECT_EQ(view.events, c.events);
  }
}

}  // namespace
}  // namespace station

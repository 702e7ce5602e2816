// The check before production: what a station folder, its copy list, its boxes and its
// label lack is found, and each finding is said once, when it appears.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "platform/file_search.h"
#include "platform/program_folder.h"
#include "station/model/production_check.h"
#include "station/model/station_model.h"
#include "station/ops/device_tool.h"
#include "support/scratch.h"

namespace station {
namespace {

using ::testing::HasSubstr;

// A program.bin that names chip variant 1.
std::string firmware() {
  std::string bytes(8200, '\0');
  tarn::putLe32(reinterpret_cast<unsigned char*>(&bytes[8192]), 0x5AA50870);
  bytes[8196] = 1;
  return bytes;
}

// A flash table naming flash ECD35195.
std::string flashTable() {
  std::string bytes(256, '\0');
  tarn::putBe32(reinterpret_cast<unsigned char*>(&bytes[122]), 0xECD35195);
  return bytes;
}

class ProductionCheck : public ::testing::Test {
 protected:
  // A station that lacks nothing, its files in `files`.
  ProductionNeeds complete() {
    dir.write(std::string("station/misc/") + deviceToolFileName(), "tool");
    dir.write("station/misc/FSM.BIN", std::string(9000, 'm'));
    dir.write("station/misc/FT_EC_D3_51_95.txt", flashTable());
    dir.write("station/misc/response.txt", "y\r\n");
    ProductionNeeds n;
    n.programFolder = dir.file("station");
    n.copyList = {dir.write("files/program.bin", firmware()), dir.write("files/prefer.dat", "p"),
                  dir.write("files/song.mp3", "s")};
    n.fwUpgrade = true;
    n.label = "MY_AUDIO";
    return n;
  }
  tarn::testing::ScratchDir dir{"production_check"};
};

TEST_F(ProductionCheck, FindsWhatEachStationLacks) {
  struct Case {
    const char* what;
    std::function<void(ProductionNeeds&, tarn::testing::TempFolder&)> change;
    std::vector<std::string> says;  // one finding each, in order
  };
  auto removing = [](std::string rel) {
    return [rel](ProductionNeeds&, tarn::testing::TempFolder& d) { std::filesystem::remove(d.file(rel)); };
  };
  const std::vector<Case> cases = {
      {"nothing lacking", [](ProductionNeeds&, auto&) {}, {}},
      {"no device tool", removing(std::string("station/misc/") + deviceToolFileName()),
       {"is missing: no player can be probed"}},
      // Windows names the file as the checksum reads it (fsm.bin); elsewhere the download's name.
      {"no manager image", removing("station/misc/FSM.BIN"),
       {std::string(platform::kNamesIgnoreCase ? "fsm.bin" : "FSM.BIN") + " is missing"}},
      {"no flash table", removing("station/misc/FT_EC_D3_51_95.txt"), {"no flash configuration table"}},
      {"firmware without its chip variant",
       [](ProductionNeeds& n, auto& d) { n.copyList[0] = d.write("files/program.bin", std::string(9000, 'x')); },
       {"SDK bonding ID check fail 0"}},
      {"no firmware at all", [](ProductionNeeds& n, auto&) { n.copyList.erase(n.copyList.begin()); },
       {"SDK bonding ID check fail 0", "has no program.bin: every run fails at \"Program Write Setup\""}},
      {"firmware in a spelling the download misses",
       [](ProductionNeeds& n, auto& d) { n.copyList[0] = d.write("files/Program.Bin", firmware()); },
       {"every run fails at \"Program Writing\""}},
      {"no preferences package", [](ProductionNeeds& n, auto&) { n.copyList.erase(n.copyList.begin() + 1); },
       {"has no prefer.dat: every run fails at \"Prefer Write Setup\""}},
      {"no images wanted",
       [](ProductionNeeds& n, auto&) {
         n.fwUpgrade = false;
         n.isoUpgrade = true;
         n.copyList.erase(n.copyList.begin() + 1);
       },
       {}},
      {"CD image wanted, none listed", [](ProductionNeeds& n, auto&) { n.isoUpgrade = true; },
       {"\"ISO Write Setup\""}},
      {"CD image wanted and listed",
       [](ProductionNeeds& n, auto& d) {
         n.isoUpgrade = true;
         n.copyList.push_back(d.write("files/IMAGE.ISO", "i"));
       },
       {}},
      {"a label FAT refuses", [](ProductionNeeds& n, auto&) { n.label = "MY.AUDIO"; },
       {"holds '.', which FAT does not take"}},
  };
  for (const Case& c : cases) {
    ProductionNeeds n = complete();
    c.change(n, dir);
    const std::vector<std::string> found = productionProblems(n);
    ASSERT_EQ(found.size(), c.says.size()) << c.what << ": " << ::testing::PrintToString(found);
    for (size_t i = 0; i < found.size(); ++i) EXPECT_THAT(found[i], HasSubstr(c.says[i])) << c.what;
  }
}

TEST(ProductionCheckLabel, TakesWhatTheFatFormatTakes) {
  struct Case {
    std::string label;
    bool lengthToo;
    const char* says;  // nullptr: taken
  };
  const Case cases[] = {
      {"MY_AUDIO", true, nullptr},        {"", true, nullptr},
      {"A B'#$%&()-", true, nullptr},     {"@^_`{}~!", true, nullptr},
      {"ABCDEFGHIJKL", true, "has 12 characters; FAT takes at most 11"},
      {"ABCDEFGHIJKL", false, nullptr},  // typing cuts it at 11 anyway
      {" AB", true, "begins with a blank"},
      {"A*B", true, "holds '*'"},         {"A\"B", true, "holds '\"'"},
      {"A[B", false, "holds '['"},        {"A\tB", true, "holds a character that FAT does not take"},
      {"\xC3\x89T\xC3\x89", true, "holds a character that FAT does not take"},
  };
  for (const Case& c : cases) {
    const std::string problem = labelProblem(c.label, c.lengthToo).value_or("");
    if (!c.says) EXPECT_EQ(problem, "") << c.label;
    else EXPECT_THAT(problem, HasSubstr(c.says)) << c.label;
  }
}

TEST_F(ProductionCheck, SaysEachFindingOnceWhenItAppears) {
  const ProductionNeeds n = complete();
  ModelOptions options;
  options.programFolder = n.programFolder;
  StationModel model(options);
  model.files().setCopyList(n.copyList);
  model.controls().setChecked(Check::chkFwUpgrade, true);
  model.controls().setLabelText("MY_AUDIO", false);
  model.files().setSdkBondingId(1);
  enableProductionCheck(false);

  auto said = [&](const std::function<void()>& step) {
    ::testing::internal::CaptureStderr();
    step();
    return ::testing::internal::GetCapturedStderr();
  };
  EXPECT_EQ(said([&] { startProductionCheck(model); }), "") << "a complete station is not talked about";
  const std::string bad = said([&] { model.controls().setLabelText("MY.AUDIO", false); });
  EXPECT_THAT(bad, ::testing::StartsWith("mpstation: check: the volume label \"MY.AUDIO\" holds '.'"));
  EXPECT_EQ(std::count(bad.begin(), bad.end(), '\n'), 1);
  EXPECT_EQ(said([&] { model.files().setSelection({0}); }), "") << "a change that adds no finding says nothing";
  EXPECT_THAT(said([&] { model.controls().setChecked(Check::chkISOupgrade, true); }), HasSubstr("ISO Write Setup"));
  EXPECT_EQ(said([&] { model.controls().setChecked(Check::chkISOupgrade, false); }), "");
  EXPECT_EQ(said([&] { model.controls().setLabelText("MY_AUDIO", false); }), "mpstation: check: nothing missing any more\n");
  EXPECT_THAT(said([&] { model.files().setCopyList({n.copyList[0]}); }), HasSubstr("no prefer.dat"));
  // Removing program.bin leaves the window's chip variant as it was: runs fail at the
  // firmware download, not at the chip-variant check.
  const std::string removed = said([&] { model.files().setCopyList({}); });
  EXPECT_THAT(removed, HasSubstr("no program.bin: every run fails at \"Program Write Setup\""));
  EXPECT_THAT(removed, ::testing::Not(HasSubstr("SDK bonding")));
  EXPECT_THAT(said([&] { model.files().setCopyList({n.copyList[2]}); }), HasSubstr("SDK bonding ID check fail 0"))
      << "an addition reads it again";
}

TEST_F(ProductionCheck, AStationFolderNeedsItsMiscFolder) {
  dir.write("with/misc/lang.ini", "");
  dir.write("without/mpstation", "");
  EXPECT_TRUE(missingStationFolders(dir.file("with")).empty());
  EXPECT_EQ(missingStationFolders(dir.file("without")),
            std::vector<std::string>{platform::miscPathIn(dir.file("without"))});
}

}  // namespace
}  // namespace station

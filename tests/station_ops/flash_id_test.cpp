// Choosing the configuration table and the flash name shown in the spare cell.
#include "support/recording_station.h"
#include "station/ops/flash_id.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace station {
namespace {

std::string table(size_t size, uint32_t id) {
  std::string bytes(size, ' ');
  if (size >= 126)
    for (int i = 0; i < 4; ++i) bytes[122 + i] = static_cast<char>(id >> (24 - 8 * i));
  return bytes;
}

class FlashTables : public ::testing::Test {
 protected:
  void SetUp() override { dir = testing::scratchDir("flash"); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string find(uint32_t id) { return findConfigTable(dir.string(), id); }
  std::filesystem::path dir;
};

TEST_F(FlashTables, MatchIgnoresBit7OfTheLastByte) {
  testing::writeFile(dir / "b_15.txt", table(256, 0xECD35115));
  EXPECT_EQ(find(0xECD35195), "b_15.txt");
  EXPECT_EQ(find(0xECD35115), "b_15.txt");
  EXPECT_EQ(find(0xECD35116), "0");
  EXPECT_EQ(find(0x6CD35115), "0");  // bit 7 of the other bytes counts
  testing::writeFile(dir / "a_95.txt", table(256, 0xECD35195));
  EXPECT_EQ(find(0xECD35195), "a_95.txt");  // the first by name
}

TEST_F(FlashTables, WhatCountsAsATable) {
  testing::writeFile(dir / "short.txt", table(127, 0x98D79432));
  EXPECT_EQ(find(0x98D79432), "0");
  testing::writeFile(dir / "short.txt", table(128, 0x98D79432));
  EXPECT_EQ(find(0x98D79432), "short.txt");
  std::filesystem::remove(dir / "short.txt");

  std::filesystem::create_directory(dir / "Y.txt");
  testing::writeFile(dir / "other.bin", table(256, 0x98D79432));
  testing::writeFile(dir / "notes.txt.bak", table(256, 0x98D79432));
  testing::writeFile(dir / "zero.txt", table(256, 0));
#ifndef _WIN32
  testing::writeFile(dir / ".hidden.txt", table(256, 0x98D79432));
#endif
  EXPECT_EQ(find(0x98D79432), "0");
  EXPECT_EQ(find(0), "0");  // a stored 0 never matches
  testing::writeFile(dir / "X.TXT", table(300, 0x98D79432));
  EXPECT_EQ(find(0x98D79432), "X.TXT");
}

TEST(FlashName, FromFlashIni) {
  std::map<std::string, std::string> ini = {
      {"T.txt/1", "K9G8G08 1GB"}, {"T.txt/4", "K9G8G08 4 chips"}, {"U.txt/1", "H27U 2GB"},
      {"0/1", "unknown flash"}};
  ProfileLookup lookup = [&ini](const std::string& path, const std::string& section,
                                const std::string& key, const std::string& def) {
    EXPECT_EQ(path, "flash.ini-path");
    auto it = ini.find(section + "/" + key);
    return it == ini.end() ? def : it->second;
  };
  struct Case {
    std::string table;
    uint32_t chips;
    std::string shown;
  } cases[] = {
      {"T.txt", 4, "K9G8G08 4 chips"}, {"T.txt", 1, "K9G8G08 1GB"}, {"T.txt", 2, "K9G8G08 1GB x 2"},
      {"U.txt", 4, "H27U 2GB x 4"},    {"V.txt", 1, "default"},     {"0", 3, "unknown flash x 3"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(flashDisplayName(lookup, "flash.ini-path", c.table, c.chips), c.shown);
}

TEST_F(FlashTables, SpareCellClearedWhenTheSlotWasFreed) {
  testing::writeFile(dir / "FT.txt", table(256, 0xECD35195));
  ProfileLookup lookup = [](const std::string&, const std::string& section,
                            const std::string& key, const std::string& def) {
    return section == "FT.txt" && key == "1" ? std::string("EC 1GB") : def;
  };
  testing::RecordingStation view;
  view.drive[3] = 'K';
  EXPECT_EQ(identifyFlash(view, dir.string(), 0xECD35195, 2, 3, lookup), "FT.txt");
  EXPECT_EQ(view.events, (std::vector<std::string>{"spare 3 EC 1GB x 2"}));
  EXPECT_GE(view.pumps, 1);

  view.events.clear();
  view.drive[3] = 0;
  EXPECT_EQ(identifyFlash(view, dir.string(), 0x11223344, 1, 3, lookup), "0");
  EXPECT_EQ(view.events, (std::vector<std::string>{"spare 3 default", "spare 3 "}));
}

TEST(ShippedTables, IdentifyTheirFlashes) {
  std::string misc = std::string(TARN_SOURCE_DIR) + "/misc";
  EXPECT_EQ(findConfigTable(misc, 0xECD35195), "FT_EC_D3_51_95.txt");
  EXPECT_EQ(findConfigTable(misc, 0x98D79432), "FT_98_D7_94_32.txt");
  EXPECT_EQ(findConfigTable(misc, 0x98D794B2), "FT_98_D7_94_32.txt");
  EXPECT_EQ(findConfigTable(misc, 0x7F7F7F7F), "0");

  // With the shipped flash.ini, read by the station's profile reader.
  testing::RecordingStation view;
  view.drive[0] = 'E';
  EXPECT_EQ(identifyFlash(view, misc, 0xECD35195, 2, 0), "FT_EC_D3_51_95.txt");
  EXPECT_EQ(identifyFlash(view, misc, 0xECD35195, 4, 0), "FT_EC_D3_51_95.txt");
  EXPECT_EQ(identifyFlash(view, misc, 0x98D79432, 1, 0), "FT_98_D7_94_32.txt");
  EXPECT_EQ(identifyFlash(view, misc, 0x11111112, 1, 0), "0");
  EXPECT_EQ(view.events, (std::vector<std::string>{"spare 0 EC D3 51 95 2GB", "spare 0 EC D3 51 95 1GB x 4",
                                                   "spare 0 98 D7 94 32 4GB", "spare 0 default"}));
}

}  // namespace
}  // namespace station

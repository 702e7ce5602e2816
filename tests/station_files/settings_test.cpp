// prefer.ini: defaults, value rules, the saved file's exact layout, the round trip, and
// saves that cannot be made.
#include <filesystem>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "ini_corpus.h"
#include "station/settings/settings.h"

namespace station_files_test {
namespace {

using station::Settings;

const char kDefaultFile[] =
    "[Animation]\r\nStartup=\r\nShutdown=\r\nWidth=160\r\nHeight=128\r\n"
    "[FM]\r\nselection=0\r\n"
    "[LCD]\r\nContrast=0\r\n"
    "[Language]\r\nLang=0\r\n"
    "[MP_Setting]\r\nFormat=0\r\nBlanking check=0\r\nFwUpgrade=1\r\nISO upgrade=0\r\n"
    "Manual Upgrade=0\r\nBar Fixed=1\r\nSystem Area check=0\r\nSystem Area Size=0\r\n"
    "FwParityCheck=1\r\nLabel=\r\n";

TEST(SettingsLoad, NoFileGivesTheDefaults) {
  std::string dir = freshDir();
  Settings s;
  s.LabelEdit = "MY_AUDIO";  // what the window shows before loading
  s.SystemAreaComBo = 15;
  s.load(join(dir, "prefer.ini"));
  EXPECT_EQ(s.startupFolder, "");
  EXPECT_EQ(s.shutdownFolder, "");
  EXPECT_EQ(s.fmSelection, 0);
  EXPECT_EQ(s.contrast, 0);
  EXPECT_EQ(s.playerLanguage, 0);
  EXPECT_EQ(s.frameWidth, "160");
  EXPECT_EQ(s.frameHeight, "128");
  EXPECT_FALSE(s.chkFormat);
  EXPECT_FALSE(s.chkBlankCheck);
  EXPECT_TRUE(s.chkFwUpgrade);
  EXPECT_FALSE(s.chkISOupgrade);
  EXPECT_FALSE(s.CheckManuupgrade);
  EXPECT_TRUE(s.chkBarFixed);
  EXPECT_FALSE(s.SystemAreachk);
  EXPECT_EQ(s.SystemAreaComBo, 0);
  EXPECT_EQ(s.LabelEdit, "");
  EXPECT_TRUE(s.chkParityCheck);
  EXPECT_EQ(s, Settings{});
}

TEST(SettingsSave, NewFileHasSectionsAndKeysInSavingOrder) {
  std::string dir = freshDir();
  std::string path = join(dir, "prefer.ini");
  ASSERT_EQ(Settings{}.save(path), std::nullopt);
  EXPECT_EQ(readBytes(path), kDefaultFile);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(SettingsSave, RoundTripRestoresEveryField) {
  std::string dir = freshDir();
  std::string path = join(dir, "prefer.ini");
  Settings s;
  s.startupFolder = "C:\\frames\\start up";
  s.shutdownFolder = "D:\\shut";
  s.fmSelection = -1;
  s.contrast = 10;
  s.playerLanguage = 3;
  s.frameWidth = "128";
  s.frameHeight = "64";
  s.chkFormat = true;
  s.chkBlankCheck = true;
  s.chkFwUpgrade = false;
  s.chkISOupgrade = true;
  s.CheckManuupgrade = true;
  s.chkBarFixed = false;
  s.SystemAreachk = true;
  s.SystemAreaComBo = -1;
  s.LabelEdit = "ABCDEFGHIJK";  // the field's full 11 characters
  s.chkParityCheck = false;
  ASSERT_EQ(s.save(path), std::nullopt);
  Settings back;
  back.load(path);
  EXPECT_EQ(back, s);
  // Saving what was loaded changes no byte.
  std::string first = readBytes(path);
  ASSERT_EQ(back.save(path), std::nullopt);
  EXPECT_EQ(readBytes(path), first);
}

// Texts that a plain line would lose (blanks at the ends, quotes around) load as saved.
TEST(SettingsSave, TextsLoadAsTheyWereSaved) {
  std::string path = join(freshDir(), "prefer.ini");
  for (const char* label : {" MY PLAYER", "PLAYER ", "\"Q\"", "\"", "A \"B\" C", ""}) {
    Settings s;
    s.LabelEdit = label;
    s.startupFolder = std::string("\t") + label;
    ASSERT_EQ(s.save(path), std::nullopt);
    Settings back;
    back.load(path);
    EXPECT_EQ(back, s) << "[" << label << "]";
  }
}

struct ValueCase {
  const char* line;  // in [MP_Setting], [LCD], [FM], [Language] or [Animation]
  const char* section;
  bool (*check)(const Settings&);
  const char* what;
};

TEST(SettingsLoad, ValueRules) {
  const ValueCase cases[] = {
      {"FwUpgrade=0x1", "MP_Setting", [](const Settings& s) { return s.chkFwUpgrade; }, "hex 1 ticks"},
      {"FwUpgrade=0", "MP_Setting", [](const Settings& s) { return !s.chkFwUpgrade; }, "0 unticks"},
      {"Format=7", "MP_Setting", [](const Settings& s) { return s.chkFormat; }, "non-zero ticks"},
      {"Format=-1", "MP_Setting", [](const Settings& s) { return s.chkFormat; }, "-1 ticks"},
      {"Format=yes", "MP_Setting", [](const Settings& s) { return !s.chkFormat; }, "text: default"},
      {"FwParityCheck=abc", "MP_Setting", [](const Settings& s) { return s.chkParityCheck; },
       "text: default 1"},
      {"Contrast=abc", "LCD", [](const Settings& s) { return s.contrast == 0; }, "letters: 0"},
      {"Contrast=0x0A", "LCD", [](const Settings& s) { return s.contrast == 10; }, "hex"},
      {"Contrast=0X5", "LCD", [](const Settings& s) { return s.contrast == 5; }, "hex, upper X"},
      {"Contrast=0x", "LCD", [](const Settings& s) { return s.contrast == 0; }, "bare 0x"},
      {"Contrast=15", "LCD", [](const Settings& s) { return s.contrast == 10; }, "held at 10"},
      {"Contrast=-3", "LCD", [](const Settings& s) { return s.contrast == 0; }, "held at 0"},
      {"Contrast=", "LCD", [](const Settings& s) { return s.contrast == 0; }, "empty"},
      {"Contrast=4 ", "LCD", [](const Settings& s) { return s.contrast == 4; }, "blank after"},
      {"Contrast=4x", "LCD", [](const Settings& s) { return s.contrast == 0; }, "trailing junk"},
      {"selection=1", "FM", [](const Settings& s) { return s.fmSelection == 1; }, "second item"},
      {"selection=2", "FM", [](const Settings& s) { return s.fmSelection == -1; }, "no such item"},
      {"Lang=3", "Language", [](const Settings& s) { return s.playerLanguage == 3; }, "last item"},
      {"Lang=-1", "Language", [](const Settings& s) { return s.playerLanguage == -1; }, "none"},
      {"System Area Size=15", "MP_Setting",
       [](const Settings& s) { return s.SystemAreaComBo == 15; }, "64MB"},
      {"System Area Size=16", "MP_Setting",
       [](const Settings& s) { return s.SystemAreaComBo == -1; }, "past 64MB"},
      {"Width=abc", "Animation", [](const Settings& s) { return s.frameWidth == "abc"; }, "width is text"},
      {"Height=", "Animation", [](const Settings& s) { return s.frameHeight.empty(); }, "empty height"},
      {"label=my_audio", "mp_setting", [](const Settings& s) { return s.LabelEdit == "my_audio"; },
       "names in any case, label as stored"},
  };
  std::string dir = freshDir();
  std::string path = join(dir, "prefer.ini");
  for (const ValueCase& c : cases) {
    writeBytes(path, std::string("[") + c.section + "]\r\n" + c.line + "\r\n");
    Settings s;
    s.load(path);
    EXPECT_TRUE(c.check(s)) << c.line << " (" << c.what << ")";
  }
}

TEST(SettingsInteger, Forms) {
  struct { const char* text; std::optional<int> value; } cases[] = {
      {"0", 0}, {"1", 1}, {"-1", -1}, {"+2", 2}, {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1}, {"2147483648", std::nullopt}, {"0x1", 1},
      {"0xff", 255}, {"0XFF", 255}, {"0xFFFFFFFF", -1}, {"0x100000000", std::nullopt},
      {"0x", std::nullopt}, {"0xg", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt},
      {" 1", std::nullopt}, {"1.5", std::nullopt}, {"--1", std::nullopt}, {"-0x1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(station::parseSettingInteger(c.text), c.value) << c.text;
}

TEST(SettingsSave, KeepsLinesItDoesNotOwn) {
  std::string dir = freshDir();
  std::string path = join(dir, "prefer.ini");
  writeBytes(path, "; operator notes\r\n[MP_Setting]\r\nLabel = OLD\r\nExtra=keep\r\n[Other]\r\nx=1\r\n");
  Settings s;
  s.load(path);
  s.LabelEdit = "NEW";
  ASSERT_EQ(s.save(path), std::nullopt);
  std::string saved = readBytes(path);
#ifdef _WIN32
  // The services may lay the file out their own way; what it says must still be there.
  saved = iniLogicalView(saved);
  const char* kept = "; operator notes\r\n[MP_Setting]\r\nLabel=NEW\r\nExtra=keep\r\n";
#else
  const char* kept = "; operator notes\r\n[MP_Setting]\r\nLabel =NEW\r\nExtra=keep\r\n";
#endif
  EXPECT_NE(saved.find(kept), std::string::npos) << saved;
  EXPECT_NE(saved.find("[Other]\r\nx=1\r\n"), std::string::npos) << saved;
}

TEST(SettingsSave, FailureNamesThePathAndLeavesTheFile) {
  std::string dir = freshDir();
  // No folder to write into.
  std::string missing = join(dir, "gone/prefer.ini");
  EXPECT_EQ(Settings{}.save(missing), "Unable to write to " + missing);
  // A folder in the file's place: the copy is written but cannot replace it.
  std::string folder = join(dir, "prefer.ini");
  std::filesystem::create_directories(join(folder, "inside"));
  EXPECT_EQ(Settings{}.save(folder), "Unable to write to " + folder);
  EXPECT_TRUE(std::filesystem::is_directory(join(folder, "inside")));
  EXPECT_FALSE(std::filesystem::exists(folder + ".tmp"));
}

}  // namespace
}  // namespace station_files_test

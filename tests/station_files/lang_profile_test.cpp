// lang.ini through the Windows profile services: the rules those services apply, the
// Chinese sections' bytes (Big5 trail bytes that are backslashes included) and their
// decoding, and the process's table below the program's current folder.
#include <windows.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "lang_cases.h"
#include "station/texts/lang.h"

namespace station_files_test {
namespace {

using station::LangText;
using station::LanguageTable;

TEST(LangProfile, LoadRules) {
  const LoadCase cases[] = {
      {"no lang.ini keeps English", nullptr, 0x0804, false,
       {{LangText::WaitDeviceMsg, "Waiting device..."},
        {LangText::BlankingCheckSetup, "Blanking Check Setup"}}},
      {"an empty file is read: every keyed text empty", "", 0x0409, true,
       {{LangText::WaitDeviceMsg, ""}, {LangText::FlashEnd, "FLASH End"}}},
      {"English section without WaitDeviceMsg",
       "[English]\r\nTitleStr = \"T\"\r\nBlankingCheckStr = \"Blanking Check\"\r\nSettingMsg = \"Setting\"\r\n",
       0x0409, true,
       {{LangText::TitleStr, "T"}, {LangText::WaitDeviceMsg, ""},
        {LangText::BlankingCheckSetup, "Blanking CheckSetting"}}},
      {"section and key names in any case", "[ENGLISH]\nwaitdevicemsg = \"low\"\nFAILMSG = 'UP'\n",
       0x0409, true, {{LangText::WaitDeviceMsg, "low"}, {LangText::FailMsg, "UP"}}},
      {"Hong Kong reads English", "[English]\nFailMsg = en\n[Chinese (Taiwan)]\nFailMsg = tw\n",
       0x0C04, true, {{LangText::FailMsg, "en"}}},
      {"PRC section missing", "[English]\nFailMsg = \"en\"\n", 0x0804, true,
       {{LangText::FailMsg, ""}, {LangText::BlankingCheckSetup, ""}}},
      {"leading space of a quoted value stays, trailing spaces go",
       "[English]\nBlankingCheckStr = Blanking Check   \nSettingMsg = \" Setting\"\n", 0x0409, true,
       {{LangText::BlankingCheckSetup, "Blanking Check Setting"}}},
      {"a line without '=' is passed over", "[English]\nno equals sign\nFailMsg = x\n", 0x0409,
       true, {{LangText::FailMsg, "x"}}},
      {"Big5 bytes come back whole", "[Chinese (Taiwan)]\nFailMsg = \"\xA5\x5C\xAF\xE0\"\n", 0x0404,
       true, {{LangText::FailMsg, "\xA5\x5C\xAF\xE0"}}},
  };
  expectLoads(cases);
}

TEST(LangProfile, LongValueIsNotCut) {
  std::string dir = freshDir();
  std::string path = join(dir, "lang.ini");
  const std::string longText(3000, 'x');
  writeBytes(path, "[English]\nTitleStr = " + longText + "\n");
  LanguageTable t;
  ASSERT_TRUE(t.load(path, 0x0409));
  EXPECT_EQ(t.text(LangText::TitleStr), longText);
}

TEST(LangProfile, ProcessTableReadsMiscBelowTheCurrentDirectory) {
  std::string dir = freshDir();
  std::filesystem::create_directories(join(dir, "misc"));
  writeBytes(join(dir, "misc/lang.ini"), "[English]\nFailMsg = \"from misc\"\n");
  auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  bool loaded = station::loadLanguageTable();
  std::filesystem::current_path(before);
  ASSERT_TRUE(loaded);
  if (station::languageTable().langId() != 0x0804 && station::languageTable().langId() != 0x0404) {
    EXPECT_EQ(station::languageTable().text(LangText::FailMsg), "from misc");
  }
  EXPECT_EQ(station::languageTable().langId(), GetSystemDefaultLangID());
}

}  // namespace
}  // namespace station_files_test

// The language table: section choice, loading rules, the shipped lang.ini and decoding
// for the window.
#include <cstdlib>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "platform/system_language.h"
#include "platform/text_codec.h"
#include "station/texts/lang.h"

namespace station_files_test {
namespace {

using station::LangText;
using station::LanguageTable;

const std::string kShippedLangIni = std::string(TARN_SOURCE_DIR) + "/misc/lang.ini";

TEST(LangSection, ChosenByLanguageIdentifier) {
  struct { std::uint16_t id; const char* section; } cases[] = {
      {0x0804, "Chinese (PRC)"}, {0x0404, "Chinese (Taiwan)"}, {0x0C04, "English"},
      {0x1004, "English"},       {0x0409, "English"},          {0x0411, "English"},
      {0x0000, "English"},
  };
  for (const auto& c : cases) EXPECT_STREQ(station::langSection(c.id), c.section) << c.id;
}

TEST(LangSection, IdentifierFromLocale) {
  struct { const char* locale; std::uint16_t id; } cases[] = {
      {"zh_CN.UTF-8", 0x0804}, {"zh_CN.GB18030", 0x0804}, {"zh_CN", 0x0804},
      {"zh_TW.Big5", 0x0404},  {"zh_TW@radical", 0x0404}, {"zh_HK.UTF-8", 0x0409},
      {"zh", 0x0409},          {"en_US.UTF-8", 0x0409},   {"C", 0x0409},
      {"", 0x0409},            {"zh_CNX", 0x0409},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::langIdFromLocale(c.locale), c.id) << c.locale;
}

#ifndef _WIN32
TEST(LangSection, EnvironmentOverridesLocale) {
  struct { const char* forced; const char* lcAll; const char* lang; std::uint16_t id; } cases[] = {
      {"0x0804", nullptr, "en_US.UTF-8", 0x0804},
      {"1028", nullptr, "en_US.UTF-8", 0x0404},
      {nullptr, "zh_TW.UTF-8", "zh_CN.UTF-8", 0x0404},
      {nullptr, nullptr, "zh_CN.UTF-8", 0x0804},
      {"junk", nullptr, "zh_CN.UTF-8", 0x0804},
  };
  for (const auto& c : cases) {
    auto set = [](const char* name, const char* value) {
      if (value) setenv(name, value, 1); else unsetenv(name);
    };
    set("TARN_LANGID", c.forced);
    set("LC_ALL", c.lcAll);
    set("LC_MESSAGES", nullptr);
    set("LANG", c.lang);
    EXPECT_EQ(platform::systemDefaultLangId(), c.id) << (c.forced ? c.forced : "-");
  }
  unsetenv("TARN_LANGID");
  unsetenv("LC_ALL");
  unsetenv("LANG");
}
#endif

TEST(LangTable, BuiltInTextsAndKeys) {
  LanguageTable t;
  struct { LangText id; const char* key; const char* text; } cases[] = {
      {LangText::TitleStr, "TitleStr", "MP3 Mass Production Tool"},
      {LangText::FlashWriteSetup, nullptr, "FLASH Write Setup"},
      {LangText::BlankingCheckSetup, nullptr, "Blanking Check Setup"},
      {LangText::BlankingChecking, nullptr, "Blanking Check"},
      {LangText::FlashEnd, nullptr, "FLASH End"},
      {LangText::FSMWrite, "FSMWrite", "FSM Writing"},
      {LangText::MenuUpgradeStr, "MenuUpgradeStr", "Menual Upgrade Mode"},
      {LangText::WaitDeviceMsg, "WaitDeviceMsg", "Waiting device..."},
      {LangText::ExceedLimitMsg, "ExceedLimitMsg", "Exceed the device limit!"},
      {LangText::HubPortExeccdStr, "HubPortExeccdStr", "Exceed USB Port limitation"},
      {LangText::StringReset, "StringReset", "Reset"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(t.text(c.id), c.text);
    if (c.key) {
      EXPECT_STREQ(station::langKey(c.id), c.key);
      EXPECT_EQ(station::langTextForKey(c.key), c.id);
    } else {
      EXPECT_EQ(station::langKey(c.id), nullptr) << c.text;
    }
  }
  // 52 keyed texts, 4 without a key, and no key twice.
  std::set<std::string> keys;
  for (std::size_t i = 0; i < station::kLangTextCount; ++i) {
    if (const char* k = station::langKey(static_cast<LangText>(i))) keys.insert(k);
  }
  EXPECT_EQ(station::kLangTextCount, 56u);
  EXPECT_EQ(keys.size(), 52u);
}

#ifdef TARN_HAVE_INIPARSER

struct LoadCase {
  const char* name;
  const char* file;  // nullptr: no lang.ini
  std::uint16_t langId;
  bool loaded;
  std::vector<std::pair<LangText, std::string>> expected;
};

TEST(LangTable, LoadRules) {
  const LoadCase cases[] = {
      {"no lang.ini keeps English", nullptr, 0x0804, false,
       {{LangText::WaitDeviceMsg, "Waiting device..."},
        {LangText::BlankingCheckSetup, "Blanking Check Setup"}}},
      {"English section without WaitDeviceMsg",
       "[English]\nTitleStr = \"T\"\nBlankingCheckStr = \"Blanking Check\"\nSettingMsg = \"Setting\"\n",
       0x0409, true,
       {{LangText::TitleStr, "T"}, {LangText::WaitDeviceMsg, ""},
        {LangText::BlankingCheckSetup, "Blanking CheckSetting"},
        {LangText::FlashWriteSetup, "FLASH Write Setup"},
        {LangText::BlankingChecking, "Blanking Check"}}},
      {"key names in any case", "[ENGLISH]\nwaitdevicemsg = \"low\"\nFAILMSG = \"UP\"\n", 0x0409,
       true, {{LangText::WaitDeviceMsg, "low"}, {LangText::FailMsg, "UP"}}},
      {"Hong Kong reads English", "[English]\nFailMsg = \"en\"\n[Chinese (Taiwan)]\nFailMsg = \"tw\"\n",
       0x0C04, true, {{LangText::FailMsg, "en"}}},
      {"Taiwan section", "[English]\nFailMsg = \"en\"\n[Chinese (Taiwan)]\nFailMsg = \"tw\"\n",
       0x0404, true, {{LangText::FailMsg, "tw"}}},
      {"PRC section missing: every keyed text empty", "[English]\nFailMsg = \"en\"\n", 0x0804, true,
       {{LangText::FailMsg, ""}, {LangText::TitleStr, ""}, {LangText::BlankingCheckSetup, ""},
        {LangText::FlashEnd, "FLASH End"}}},
      {"leading space of a quoted value stays, trailing spaces go",
       "[English]\nBlankingCheckStr = Blanking Check   \nSettingMsg = \" Setting\"\n", 0x0409, true,
       {{LangText::BlankingCheckSetup, "Blanking Check Setting"},
        {LangText::SettingMsg, " Setting"}}},
      {"last of a key given twice", "[English]\nFailMsg = one\nFailMsg = two\n", 0x0409, true,
       {{LangText::FailMsg, "two"}}},
      {"bare value ends at a comment", "[English]\nFailMsg = broke ; why\n", 0x0409, true,
       {{LangText::FailMsg, "broke"}}},
      {"a file the library cannot parse counts as unreadable",
       "[English]\nFailMsg = \"x\"\nthis line has no equals sign\n", 0x0409, false,
       {{LangText::FailMsg, "fail"}, {LangText::BlankingCheckSetup, "Blanking Check Setup"}}},
  };
  std::string dir = freshDir();
  for (const LoadCase& c : cases) {
    std::string path = join(dir, "lang.ini");
    std::filesystem::remove(path);
    if (c.file) writeBytes(path, c.file);
    LanguageTable t;
    EXPECT_EQ(t.load(path, c.langId), c.loaded) << c.name;
    for (const auto& [id, text] : c.expected) {
      EXPECT_EQ(t.text(id), text) << c.name << ": " << station::langEnglish(id);
    }
  }
}

TEST(LangTable, ShippedFileHasEveryKeyInEverySection) {
  struct { std::uint16_t id; const char* wait; const char* title; } sections[] = {
      {0x0409, "Waiting device...", "MP3 Mass Production Tool"},
      {0x0804, "等待设备...", "MP3 量产工具"},
      {0x0404, "等待裝置...", "MP3 量產工具"},
  };
  for (const auto& s : sections) {
    LanguageTable t;
    ASSERT_TRUE(t.load(kShippedLangIni, s.id));
    EXPECT_EQ(t.windowText(LangText::WaitDeviceMsg), s.wait);
    EXPECT_EQ(t.windowText(LangText::TitleStr), s.title);
    for (std::size_t i = 0; i < station::kLangTextCount; ++i) {
      auto id = static_cast<LangText>(i);
      if (!station::langKey(id)) continue;
      EXPECT_FALSE(t.text(id).empty()) << station::langSection(s.id) << ": " << station::langKey(id);
      // The English section says what the built-in table says.
      if (s.id == 0x0409) {
        EXPECT_EQ(t.text(id), station::langEnglish(id)) << station::langKey(id);
      }
    }
  }
  LanguageTable english;
  english.load(kShippedLangIni, 0x0409);
  EXPECT_EQ(english.text(LangText::BlankingCheckSetup), "Blanking CheckSetting");
  LanguageTable prc;
  prc.load(kShippedLangIni, 0x0804);
  EXPECT_EQ(prc.text(LangText::WaitDeviceMsg), "\xB5\xC8\xB4\xFD\xC9\xE8\xB1\xB8...");  // GBK bytes
  EXPECT_EQ(prc.windowText(LangText::BlankingCheckSetup), "空白检查设置");
}

#ifndef _WIN32
TEST(LangTable, ProcessTableReadsMiscBelowTheCurrentDirectory) {
  std::string dir = freshDir();
  std::filesystem::create_directories(join(dir, "misc"));
  std::filesystem::copy_file(kShippedLangIni, join(dir, "misc/lang.ini"));
  auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  setenv("TARN_LANGID", "0x0404", 1);
  bool loaded = station::loadLanguageTable();
  unsetenv("TARN_LANGID");
  std::filesystem::current_path(before);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(station::languageTable().langId(), 0x0404);
  EXPECT_EQ(station::languageTable().windowText(LangText::FailMsg), "失敗");
}
#endif

#endif  // TARN_HAVE_INIPARSER

TEST(LangTable, UnreadableFileKeepsEnglish) {
  std::string dir = freshDir();
  LanguageTable t;
  EXPECT_FALSE(t.load(join(dir, "missing.ini"), 0x0409));
  EXPECT_EQ(t.text(LangText::BlankingCheckSetup), "Blanking Check Setup");
  EXPECT_EQ(t.text(LangText::TitleStr), "MP3 Mass Production Tool");
}

TEST(TextCodec, DecodesEachCodePage) {
  struct { std::string bytes; platform::CodePage cp; const char* utf8; } cases[] = {
      {"Waiting device...", platform::CodePage::Latin1, "Waiting device..."},
      {"caf\xE9", platform::CodePage::Latin1, "café"},
      {"\xC9\xE8\xB1\xB8", platform::CodePage::Gbk, "设备"},
      {"\xB8\xCB\xB8\x6D", platform::CodePage::Big5, "裝置"},
      {"\xA5\x5C", platform::CodePage::Big5, "功"},  // second byte is a backslash
      {"", platform::CodePage::Gbk, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::toUtf8(c.bytes, c.cp), c.utf8) << c.utf8;
#ifndef _WIN32
  // A cut or invalid sequence is marked, and the text goes on.
  EXPECT_EQ(platform::toUtf8("A\xC9", platform::CodePage::Gbk), "A\xEF\xBF\xBD");
  EXPECT_EQ(platform::toUtf8("\xFF" "B", platform::CodePage::Big5), "\xEF\xBF\xBD" "B");
#endif
}

}  // namespace
}  // namespace station_files_test

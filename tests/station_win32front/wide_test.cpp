// The language table's texts as the wide window services take them.
#include <gtest/gtest.h>

#include <filesystem>

#include "station/frontend/win32/wide.h"
#include "station/texts/lang.h"

namespace station::win32 {
namespace {

TEST(Wide, ChineseSectionsReachTheWindowAsUtf16) {
  const std::string ini = std::string(TARN_SOURCE_DIR) + "/misc/lang.ini";
  struct { std::uint16_t langId; const wchar_t* wait; } cases[] = {
      {0x0804, L"\u7B49\u5F85\u8BBE\u5907..."},  // GBK in the file
      {0x0404, L"\u7B49\u5F85\u88DD\u7F6E..."},  // Big5 in the file
      {0x0409, L"Waiting device..."},
  };
  for (const auto& c : cases) {
    LanguageTable t;
    ASSERT_TRUE(t.load(ini, c.langId));
    EXPECT_EQ(widen(t.windowText(LangText::WaitDeviceMsg)), c.wait) << c.langId;
    EXPECT_EQ(narrow(widen(t.windowText(LangText::TitleStr))), t.windowText(LangText::TitleStr));
  }
  EXPECT_EQ(widen(""), L"");
  EXPECT_EQ(widen("a\xFF"), L"a\uFFFD");
}

}  // namespace
}  // namespace station::win32

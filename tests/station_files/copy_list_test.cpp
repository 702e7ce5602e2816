// seting.ini: line ends, pruning of files that are gone, and the saved bytes.
#include <filesystem>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "station/settings/copy_list.h"

namespace station_files_test {
namespace {

using Lines = std::vector<std::string>;

TEST(CopyListLines, AnyLineEnd) {
  struct { const char* name; std::string text; Lines lines; } cases[] = {
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"LF", "a\nb\n", {"a", "b"}},
      {"CR", "a\rb\r", {"a", "b"}},
      {"mixed", "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"no final break", "a\r\nb", {"a", "b"}},
      {"empty line inside", "a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
      {"empty file", "", {}},
      {"spaces kept", " a b \r\n", {" a b "}},
  };
  for (const auto& c : cases) EXPECT_EQ(station::splitCopyListLines(c.text), c.lines) << c.name;
}

TEST(CopyList, MissingMiddleFileIsDroppedAndSavedBackShorter) {
  std::string dir = freshDir();
  std::string first = join(dir, "program.bin"), second = join(dir, "gone.mp3"),
              third = join(dir, "prefer.dat");
  writeBytes(first, "1");
  writeBytes(third, "3");
  std::string list = join(dir, "seting.ini");
  writeBytes(list, first + "\r\n" + second + "\r\n" + third + "\r\n");
  Lines items = station::loadCopyList(list);
  EXPECT_EQ(items, (Lines{first, third}));
  ASSERT_TRUE(station::saveCopyList(list, items));
  EXPECT_EQ(readBytes(list), first + "\r\n" + third + "\r\n");
}

TEST(CopyList, PrunesEmptyLinesAndFolders) {
  std::string dir = freshDir();
  std::string file = join(dir, "a.bin");
  writeBytes(file, "x");
  std::string list = join(dir, "seting.ini");
  writeBytes(list, "\n" + dir + "\n" + file);
  EXPECT_EQ(station::loadCopyList(list), Lines{file});
}

TEST(CopyList, NoFileNoItemsAndEmptyListSavesEmptyFile) {
  std::string dir = freshDir();
  std::string list = join(dir, "seting.ini");
  EXPECT_TRUE(station::loadCopyList(list).empty());
  ASSERT_TRUE(station::saveCopyList(list, {}));
  EXPECT_TRUE(std::filesystem::exists(list));
  EXPECT_EQ(readBytes(list), "");
  EXPECT_FALSE(station::saveCopyList(join(dir, "gone/seting.ini"), {"x"}));
}

}  // namespace
}  // namespace station_files_test

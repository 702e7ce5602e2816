// Whole-file replacement through a temporary, and the names of listed paths.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_replace.h"
#include "platform/path_name.h"
#include "support/scratch.h"

namespace station_files_test {
namespace {

namespace fs = std::filesystem;

TEST(ReplaceThroughTemporary, NewContentOrOldFileAndNoTemporary) {
  struct Case {
    const char* name;
    bool hadFile;
    bool staleTemporary;
    bool fillSucceeds;
    bool result;
    const char* content;  // the file afterwards; nullptr: absent
  };
  const Case cases[] = {
      {"new file", false, false, true, true, "new"},
      {"replaces", true, false, true, true, "new"},
      {"stale temporary of a killed writer", true, true, true, true, "new"},
      {"failed fill keeps the old file", true, true, false, false, "old"},
      {"failed fill makes no file", false, false, false, false, nullptr},
  };
  for (const Case& c : cases) {
    tarn::testing::ScratchDir dir;
    const std::string path = dir.file("seting.ini");
    if (c.hadFile) dir.write("seting.ini", "old");
    if (c.staleTemporary) dir.write("seting.ini.tmp", "stale");
    bool sawStale = false;
    const bool ok = platform::replaceThroughTemporary(path, [&](const std::string& temp) {
      sawStale = fs::exists(temp);
      tarn::testing::writeFile(temp, "new");
      return c.fillSucceeds;
    });
    EXPECT_EQ(ok, c.result) << c.name;
    EXPECT_FALSE(sawStale) << c.name;
    EXPECT_FALSE(fs::exists(platform::temporaryFor(path))) << c.name;
    if (c.content) EXPECT_EQ(tarn::testing::readFile(path), c.content) << c.name;
    else EXPECT_FALSE(fs::exists(path)) << c.name;
  }
}

TEST(WriteFileReplacing, BytesAsGivenAndRefusedInAMissingFolder) {
  tarn::testing::ScratchDir dir;
  const std::string bytes("a\r\n\0b", 5);
  EXPECT_TRUE(platform::writeFileReplacing(dir.file("x.bin"), bytes));
  EXPECT_EQ(tarn::testing::readFile(dir.file("x.bin")), bytes);
  EXPECT_FALSE(platform::writeFileReplacing(dir.file("missing/x.bin"), bytes));
}

TEST(FileNameOf, AfterTheSystemsCut) {
  struct Case {
    const char* path;
    const char* name;
  };
  const Case cases[] = {
      {"C:\\media\\song.mp3", "song.mp3"},
      {"song.mp3", "song.mp3"},
      {"C:\\media\\", ""},
#ifdef _WIN32
      {"C:\\media/x/song.mp3", "media/x/song.mp3"},
#else
      {"/home/op/media/song.mp3", "song.mp3"},
      {"/home/op/media\\song.mp3", "song.mp3"},
#endif
  };
  for (const Case& c : cases) EXPECT_EQ(platform::fileNameOf(c.path), c.name) << c.path;
  EXPECT_EQ(platform::withFolderSeparator(std::string("pics") + platform::kPathSeparator),
            std::string("pics") + platform::kPathSeparator);
  EXPECT_EQ(platform::withFolderSeparator("pics"), std::string("pics") + platform::kPathSeparator);
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_EQ(platform::systemPath(".\\misc\\a.txt"), "." + sep + "misc" + sep + "a.txt");
}

}  // namespace
}  // namespace station_files_test

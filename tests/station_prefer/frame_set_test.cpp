#include "fixture.h"

#include <algorithm>

#include "station/settings/frame_set.h"

namespace station::test {
namespace {

class FrameSetTest : public ScratchTest {
 protected:
  std::vector<std::string> scan(const fs::path& folder) {
    std::vector<std::string> list;
    LoadFavorite(folder.string(), list, [this] { ++pumps_; });
    return list;
  }
  int pumps_ = 0;
};

TEST_F(FrameSetTest, Names) {
  EXPECT_EQ(frameName(Animation::Startup, 12), "boot12.bmp");
  EXPECT_EQ(frameName(Animation::Shutdown, 1), "End1.bmp");
  EXPECT_EQ(pictureName(Animation::Startup, 1), "Boot1.bmp");
  EXPECT_EQ(pictureName(Animation::Shutdown, 8), "End8.bmp");
  EXPECT_EQ(fullMask(Animation::Startup), 0xFFFu);
  EXPECT_EQ(fullMask(Animation::Shutdown), 0xFFu);
}

TEST_F(FrameSetTest, Messages) {
  EXPECT_EQ(frameSetMessage(Animation::Startup, 160, 128),
            "請提供以boot為開頭的12幅(65k色,160x128)圖片,(比如boot1.bmp到boot12.bmp)");
  EXPECT_EQ(frameSetMessage(Animation::Startup, 96, 64),
            "請提供以boot為開頭的12幅(65k色,96x64)圖片,(比如boot1.bmp到boot12.bmp)");
  // The shutdown text always names 160x128.
  EXPECT_EQ(frameSetMessage(Animation::Shutdown, 96, 64),
            "請提供以End為開頭的8幅(65k色,160x128)圖片,(比如End1.bmp到End8.bmp)");
  EXPECT_STREQ(kPictureShortCaption, "圖片不足");
}

TEST_F(FrameSetTest, ScanListsBitmapFilesOnly) {
  const fs::path f = root_ / "set";
  addPicture(f, "boot1.bmp", solid(1, 1, 0));
  addPicture(f, "BOOT2.BMP", solid(1, 1, 0));
  addPicture(f, "x.Bmp", solid(1, 1, 0));
  addPicture(f, ".hidden.bmp", solid(1, 1, 0));
  std::ofstream(f / "notes.txt") << "x";
  std::ofstream(f / "bmp") << "x";
  fs::create_directories(f / "folder.bmp");
  auto list = scan(f);
  std::sort(list.begin(), list.end());
  const std::string base = withSeparator(f.string());
  EXPECT_EQ(list, (std::vector<std::string>{base + "BOOT2.BMP", base + "boot1.bmp", base + "x.Bmp"}));
  EXPECT_EQ(pumps_, 3);
  // Appends, and a folder given with its separator is not doubled.
  scan(base).swap(list);
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(namePart(list[0]).find('/'), std::string::npos);
  EXPECT_EQ(folderPart(list[0]), base);
  EXPECT_TRUE(scan(root_ / "missing").empty());
}

TEST_F(FrameSetTest, StartupAndShutdownChecks) {
  struct Case {
    const char* name;
    Animation animation;
    std::function<void(const fs::path&)> fill;
    unsigned mask;
  };
  auto boots = [this](const fs::path& f, int skip = 0) {
    for (int n = 1; n <= 12; ++n)
      if (n != skip) addPicture(f, "boot" + std::to_string(n) + ".bmp", solid(160, 128, 0));
  };
  auto ends = [this](const fs::path& f, int w, int h) {
    for (int n = 1; n <= 8; ++n) addPicture(f, "End" + std::to_string(n) + ".bmp", solid(w, h, 0));
  };
  const std::vector<Case> cases = {
      {"12 frames", Animation::Startup, [&](const fs::path& f) { boots(f); }, 0xFFF},
      {"frame 7 at 160x120", Animation::Startup,
       [&](const fs::path& f) { boots(f, 7); addPicture(f, "boot7.bmp", solid(160, 120, 0)); }, 0xFBF},
      {"frame 3 hidden", Animation::Startup,
       [&](const fs::path& f) { boots(f, 3); addPicture(f, ".boot3.bmp", solid(160, 128, 0)); }, 0xFFB},
      {"frame 1 in capitals", Animation::Startup,
       [&](const fs::path& f) { boots(f, 1); addPicture(f, "BOOT1.BMP", solid(160, 128, 0)); }, 0xFFE},
      {"capital B", Animation::Startup,
       [&](const fs::path& f) { boots(f, 5); addPicture(f, "Boot5.bmp", solid(160, 128, 0)); }, 0xFEF},
      {"13th picture and a text file", Animation::Startup,
       [&](const fs::path& f) {
         boots(f);
         addPicture(f, "boot13.bmp", solid(1, 1, 0));
         std::ofstream(f / "boot14.txt") << "x";
       },
       0xFFF},
      {"frame 12 not a picture", Animation::Startup,
       [&](const fs::path& f) { boots(f, 12); std::ofstream(f / "boot12.bmp") << "text"; }, 0x7FF},
      {"frame 2 a folder", Animation::Startup,
       [&](const fs::path& f) { boots(f, 2); fs::create_directories(f / "boot2.bmp"); }, 0xFFD},
      {"empty folder", Animation::Startup, [&](const fs::path& f) { fs::create_directories(f); }, 0},
      {"8 frames of any size", Animation::Shutdown, [&](const fs::path& f) { ends(f, 3, 500); }, 0xFF},
      {"shutdown pictures not read", Animation::Shutdown,
       [&](const fs::path& f) { ends(f, 1, 1); std::ofstream(f / "End4.bmp") << "text"; }, 0xFF},
      {"small e", Animation::Shutdown,
       [&](const fs::path& f) {
         ends(f, 160, 128);
         fs::remove(f / "End8.bmp");
         addPicture(f, "end8.bmp", solid(1, 1, 0));
       },
       0x7F},
  };
  int i = 0;
  for (const Case& c : cases) {
    const fs::path f = root_ / ("case" + std::to_string(i++));
    c.fill(f);
    const auto list = scan(f);
    EXPECT_EQ(checkFrameSet(c.animation, list, 160, 128, loader()), c.mask) << c.name;
  }
  // The 13th picture is listed, the text file is not.
  const auto list = scan(root_ / "case5");
  EXPECT_EQ(list.size(), 13u);
}

}  // namespace
}  // namespace station::test

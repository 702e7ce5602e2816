// Real bitmaps through QImage, and the preferpack program.
#include "fixture.h"

#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "station/settings/frame_set.h"
#include "station/frontend/qtimage/picture_qt.h"

namespace station::test {
namespace {

struct ToolRun {
  int code;
  std::string out;
};

ToolRun preferpack(const std::string& args) {
  const std::string command = std::string("\"") + TARN_DIST_DIR + "/preferpack\" " + args + " 2>&1";
  ToolRun r{-1, {}};
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string q(const fs::path& p) { return "\"" + p.string() + "\""; }

class RoundTripTest : public ScratchTest {
 protected:
  // Bitmaps with every point different, and their 5-6-5 quantised pictures.
  void writeSets(const fs::path& boot, const fs::path& end, int w, int h, int bootW = -1) {
    auto save = [&](const fs::path& f, const std::string& name, Picture p) {
      fs::create_directories(f);
      ASSERT_TRUE(toQImage(p).save(QString::fromStdString((f / name).string()), "BMP"));
      for (auto& c : p.rgb) c = rgb565ToRgb(rgbTo565(c >> 16, (c >> 8) & 0xFF, c & 0xFF));
      quantised_[name] = p;
    };
    for (int n = 1; n <= 12; ++n)
      save(boot, frameName(Animation::Startup, n), pattern(n == 7 && bootW > 0 ? bootW : w, h, n));
    for (int n = 1; n <= 8; ++n) save(end, frameName(Animation::Shutdown, n), pattern(w, h, 50 + n));
  }
  std::map<std::string, Picture> quantised_;
};

TEST_F(RoundTripTest, QImageReadsWhatItWrote) {
  fs::create_directories(root_);
  Picture p = pattern(5, 3, 9);
  ASSERT_TRUE(toQImage(p).save(QString::fromStdString((root_ / "a.bmp").string()), "BMP"));
  EXPECT_EQ(loadPictureQt((root_ / "a.bmp").string()), p);
  std::ofstream(root_ / "b.bmp") << "not a bitmap";
  EXPECT_FALSE(loadPictureQt((root_ / "b.bmp").string()));
  EXPECT_FALSE(loadPictureQt((root_ / "c.bmp").string()));
}

TEST_F(RoundTripTest, BuildInfoExtract) {
  writeSets(root_ / "boot", root_ / "end", 160, 128);
  const fs::path out = root_ / "out" / "prefer.dat";
  fs::create_directories(out.parent_path());
  ToolRun build = preferpack("build --startup " + q(root_ / "boot") + " --shutdown " + q(root_ / "end") +
                         " --fm 1 --language 2 --contrast 7 -o " + q(out));
  ASSERT_EQ(build.code, 0) << build.out;
  EXPECT_EQ(build.out, out.string() + " written\n");
  EXPECT_EQ(fs::file_size(out), 819232u);

  ToolRun info = preferpack("info " + q(out));
  EXPECT_EQ(info.code, 0);
  EXPECT_EQ(info.out,
            "StartupOffset=32\nStartupSize=491520\nShutdownOffset=491552\nShutdownSize=327680\n"
            "Width=160\nHeight=128\nStartupCount=12\nShutdownCount=8\nFmSelection=1\nLanguage=2\n"
            "Contrast=7\nReserved=0\nFileLength=819232\nStartupLayout=ok\nShutdownLayout=ok\n");

  ToolRun extract = preferpack("extract " + q(out) + " " + q(root_ / "frames"));
  ASSERT_EQ(extract.code, 0) << extract.out;
  for (const auto& [name, want] : quantised_) {
    auto got = loadPictureQt((root_ / "frames" / name).string());
    ASSERT_TRUE(got) << name;
    EXPECT_EQ(*got, want) << name;
  }
  // The extracted frames are a valid set again.
  std::vector<std::string> list;
  LoadFavorite((root_ / "frames").string(), list);
  EXPECT_EQ(checkFrameSet(Animation::Startup, list, 160, 128, loadPictureQt), 0xFFFu);
  EXPECT_EQ(checkFrameSet(Animation::Shutdown, list, 160, 128, loadPictureQt), 0xFFu);
}

TEST_F(RoundTripTest, Failures) {
  writeSets(root_ / "boot", root_ / "end", 16, 8, 15);
  writeBytes(root_ / "short.dat", std::vector<std::uint8_t>(20));
  auto header = encodeHeader(makeHeader(16, 8, 0, 0, 0));
  writeBytes(root_ / "cut.dat", std::vector<std::uint8_t>(header.begin(), header.end()));
  const std::string sets = " --startup " + q(root_ / "boot") + " --shutdown " + q(root_ / "end");
  struct Case {
    std::string args;
    int code;
    std::string firstLine;
  };
  const std::vector<Case> cases = {
      {"", 2, "usage: preferpack build --startup DIR --shutdown DIR [--width W] [--height H]"},
      {"pack x", 2, "preferpack: unknown command pack (preferpack --help lists the options)"},
      {"build --startup " + q(root_ / "boot") + " -o x", 2, "preferpack: build needs --startup, --shutdown and -o (preferpack --help lists the options)"},
      {"build" + sets + " --contrast 11 -o x", 2, "preferpack: --contrast takes 0 to 10 (preferpack --help lists the options)"},
      {"build" + sets + " --width", 2, "preferpack: missing value after --width (preferpack --help lists the options)"},
      {"build" + sets + " --width 16 --height 8 -o " + q(root_ / "p.dat"), 1,
       "preferpack: " + (root_ / "boot").string() + ": frame 7 (boot7.bmp) is 15x8, not 16x8"},
      {"build" + sets + " --width 1x -o " + q(root_ / "p.dat"), 1,
       "preferpack: The frame width \"1x\" and height \"128\" must be whole numbers from 1 to 65535"},
      {"info " + q(root_ / "short.dat"), 1,
       "preferpack: " + (root_ / "short.dat").string() + " is 20 bytes long, shorter than the 32-byte header"},
      {"info " + q(root_ / "none.dat"), 1, "preferpack: Cannot open " + (root_ / "none.dat").string()},
      {"extract " + q(root_ / "cut.dat") + " " + q(root_ / "x"), 1,
       "preferpack: " + (root_ / "cut.dat").string() + ": frame 1 lies past the end of the file"},
      {"extract " + q(root_ / "cut.dat"), 2, "preferpack: extract takes FILE and DIR (preferpack --help lists the options)"},
  };
  for (const Case& c : cases) {
    ToolRun r = preferpack(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.out;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), c.firstLine) << c.args;
  }
  EXPECT_FALSE(fs::exists(root_ / "p.dat"));
}

}  // namespace
}  // namespace station::test

#include "fixture.h"

#include "station/settings/frame_set.h"

namespace station::test {
namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

TEST(PackageHeader, FieldsAtTheirOffsetsLittleEndian) {
  const auto bytes = encodeHeader(makeHeader(160, 128, 1, 2, 7));
  const std::vector<std::uint8_t> b(bytes.begin(), bytes.end());
  const std::uint32_t want32[4] = {32, 491520, 491552, 327680};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(le32(b, 4 * i), want32[i]) << "field " << i;
  const std::uint16_t want16[8] = {160, 128, 12, 8, 1, 2, 7, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(le16(b, 16 + 2 * i), want16[i]) << "field " << 4 + i;
  EXPECT_EQ(b[8], 0x20);  // 491552 = 0x00078020, low byte first
  EXPECT_EQ(b[9], 0x80);
  EXPECT_EQ(b[10], 0x07);
  EXPECT_EQ(decodeHeader(bytes.data()), makeHeader(160, 128, 1, 2, 7));
}

TEST(PackageHeader, NoSelectionIsWrittenAsFFFF) {
  const auto b = encodeHeader(makeHeader(160, 128, -1, -1, 0));
  EXPECT_EQ(b[24], 0xFF);
  EXPECT_EQ(b[25], 0xFF);
  EXPECT_EQ(b[26], 0xFF);
  EXPECT_EQ(b[27], 0xFF);
}

TEST(ColourWords, BitsDroppedHighByteFirstAndBack) {
  struct Case {
    std::uint32_t rgb;
    std::uint8_t hi, lo;
    std::uint32_t back;
  };
  const Case cases[] = {
      {0xFF0000, 0xF8, 0x00, 0xF80000}, {0x00FF00, 0x07, 0xE0, 0x00FC00},
      {0x0000FF, 0x00, 0x1F, 0x0000F8}, {0xFFFFFF, 0xFF, 0xFF, 0xF8FCF8},
      {0x070307, 0x00, 0x00, 0x000000}, {0x0F0F0F, 0x08, 0x61, 0x080C08},
  };
  for (const Case& c : cases) {
    const auto bytes = frameBytes(solid(1, 1, c.rgb), 1, 1);
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], c.hi) << std::hex << c.rgb;
    EXPECT_EQ(bytes[1], c.lo) << std::hex << c.rgb;
    EXPECT_EQ(decodeFrame(bytes.data(), 1, 1).at(0, 0), c.back) << std::hex << c.rgb;
  }
}

TEST(ColourWords, PointsOutsideThePictureAreWhiteAndRowsComeFirst) {
  Picture p = solid(2, 1, 0x000000);
  p.rgb[1] = 0xFF0000;
  // 3 x 2 from a 2 x 1 picture: row 0 = black, red, white; row 1 all white.
  const std::vector<std::uint8_t> want = {0x00, 0x00, 0xF8, 0x00, 0xFF, 0xFF,
                                          0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(frameBytes(p, 3, 2), want);
}

class ApplyTest : public ScratchTest {};

TEST_F(ApplyTest, NewPackageOfDefaultSize) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  ApplyRequest rq = request(root_ / "boot", root_ / "end");
  rq.fm = 1;
  rq.language = 2;
  rq.contrast = 7;
  const ApplyResult r = applyPackage(rq, loader());
  ASSERT_TRUE(r.written) << r.message;
  const auto b = readBytes(root_ / "prefer.dat");
  ASSERT_EQ(b.size(), 819232u);
  EXPECT_EQ(decodeHeader(b.data()), makeHeader(160, 128, 1, 2, 7));
  EXPECT_FALSE(fs::exists(root_ / "prefer.dat.tmp"));
  // Frame n of each block at its offset, each from its own picture.
  for (int n = 0; n < 12; ++n) {
    const auto want = frameBytes(pattern(160, 128, 2 + n), 160, 128);
    ASSERT_TRUE(std::equal(want.begin(), want.end(), b.begin() + 32 + n * 40960)) << "boot " << n + 1;
  }
  for (int n = 0; n < 8; ++n) {
    const auto want = frameBytes(pattern(160, 128, 102 + n), 160, 128);
    ASSERT_TRUE(std::equal(want.begin(), want.end(), b.begin() + 491552 + n * 40960)) << "End " << n + 1;
  }
  const std::uint32_t topLeft = pattern(160, 128, 2).at(0, 0);
  const std::uint16_t word = rgbTo565(topLeft >> 16, (topLeft >> 8) & 0xFF, topLeft & 0xFF);
  EXPECT_EQ(b[32], word >> 8);
  EXPECT_EQ(b[33], word & 0xFF);
}

TEST_F(ApplyTest, RefusalsWriteNothing) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  struct Case {
    const char* name;
    bool boot, end;
    const char* width;
    const char* height;
    const char* message;
  };
  const Case cases[] = {
      {"no start-up folder", false, true, "160", "128", "請選擇thumbnail 路徑"},
      {"no shutdown folder", true, false, "160", "128", "請選擇thumbnail 路徑"},
      {"width not a number", true, true, "16O", "128", "The frame width \"16O\" and height \"128\" must be whole numbers from 1 to 65535; nothing was written."},
      {"empty height", true, true, "160", "", "The frame width \"160\" and height \"\" must be whole numbers from 1 to 65535; nothing was written."},
      {"zero width", true, true, "0", "128", "The frame width \"0\" and height \"128\" must be whole numbers from 1 to 65535; nothing was written."},
      {"past 16 bits", true, true, "65536", "1", "The frame width \"65536\" and height \"1\" must be whole numbers from 1 to 65535; nothing was written."},
      {"past 32-bit offsets", true, true, "65535", "65535", "The frame width \"65535\" and height \"65535\" must be whole numbers from 1 to 65535; nothing was written."},
  };
  for (const Case& c : cases) {
    writeBytes(root_ / "prefer.dat.tmp", {9});  // left by a build that was killed
    ApplyRequest rq = request(c.boot ? root_ / "boot" : fs::path(), c.end ? root_ / "end" : fs::path());
    rq.widthText = c.width;
    rq.heightText = c.height;
    const ApplyResult r = applyPackage(rq, loader());
    EXPECT_FALSE(r.written) << c.name;
    EXPECT_EQ(r.message, c.message) << c.name;
    EXPECT_FALSE(fs::exists(root_ / "prefer.dat")) << c.name;
    EXPECT_FALSE(fs::exists(root_ / "prefer.dat.tmp")) << c.name;
  }
  ApplyRequest rq = request(root_ / "boot", root_ / "end");
  EXPECT_EQ(applyPackage(rq, loader()).caption, "");
  ApplyRequest none = request({}, root_ / "end");
  EXPECT_EQ(applyPackage(none, loader()).caption, "圖片不足");
}

TEST_F(ApplyTest, UnreadablePictureLeavesTheOldPackage) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  writeBytes(root_ / "prefer.dat", {1, 2, 3});
  pictures_.erase((root_ / "end" / "End5.bmp").string());
  const ApplyResult r = applyPackage(request(root_ / "boot", root_ / "end"), loader());
  EXPECT_FALSE(r.written);
  EXPECT_EQ(r.message, "Cannot read the picture " + (root_ / "end" / "End5.bmp").string() +
                           "; nothing was written.");
  EXPECT_EQ(readBytes(root_ / "prefer.dat"), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(ApplyTest, PictureNamesResolvedWithoutRegardToCase) {
  // The check wants boot1.bmp; the builder asks for Boot1.bmp, which a case-blind file
  // system finds: so must we.
  addSets(root_ / "boot", root_ / "end", 4, 2);
  ApplyRequest rq = request(root_ / "boot", root_ / "end");
  rq.widthText = "4";
  rq.heightText = "2";
  ASSERT_TRUE(applyPackage(rq, loader()).written);
  EXPECT_EQ(resolvePicture((root_ / "boot").string(), "Boot3.bmp"), withSeparator((root_ / "boot").string()) + "boot3.bmp");
}

TEST_F(ApplyTest, UpdateWithOnlyTheShutdownFolderKeepsTheStartupBlock) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  ASSERT_TRUE(applyPackage(request(root_ / "boot", root_ / "end"), loader()).written);
  const auto before = readBytes(root_ / "prefer.dat");
  for (int n = 1; n <= 8; ++n) addPicture(root_ / "end2", "End" + std::to_string(n) + ".bmp", solid(160, 128, 0xFF0000));

  ApplyRequest rq = request({}, root_ / "end2");
  rq.chosenPackage = (root_ / "prefer.dat").string();
  rq.newPackagePath = (root_ / "elsewhere.dat").string();
  rq.contrast = 9;
  ASSERT_TRUE(applyPackage(rq, loader()).written);
  EXPECT_FALSE(fs::exists(root_ / "elsewhere.dat"));
  const auto after = readBytes(root_ / "prefer.dat");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(before.begin() + 32, before.begin() + 491552, after.begin() + 32));
  EXPECT_EQ(decodeHeader(after.data()).Contrast, 9);
  for (size_t i = 491552; i < after.size(); i += 2) {
    ASSERT_EQ(after[i], 0xF8) << i;
    ASSERT_EQ(after[i + 1], 0x00) << i;
  }
}

TEST_F(ApplyTest, UpdateWithANewSizeKeepsOldFramesUnderTheNewHeader) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  ASSERT_TRUE(applyPackage(request(root_ / "boot", root_ / "end"), loader()).written);
  const auto before = readBytes(root_ / "prefer.dat");
  for (int n = 1; n <= 8; ++n) addPicture(root_ / "end2", "End" + std::to_string(n) + ".bmp", solid(8, 8, 0x0000FF));
  ApplyRequest rq = request({}, root_ / "end2");
  rq.chosenPackage = (root_ / "prefer.dat").string();
  rq.widthText = "8";
  rq.heightText = "8";
  ASSERT_TRUE(applyPackage(rq, loader()).written);
  const auto after = readBytes(root_ / "prefer.dat");
  EXPECT_EQ(decodeHeader(after.data()), makeHeader(8, 8, 0, 0, 0));
  ASSERT_EQ(after.size(), before.size());
  const size_t newShutdown = 32 + 8 * 8 * 2 * 12;
  EXPECT_TRUE(std::equal(before.begin() + 32, before.begin() + newShutdown, after.begin() + 32));
  EXPECT_EQ(after[newShutdown], 0x00);
  EXPECT_EQ(after[newShutdown + 1], 0x1F);
  EXPECT_TRUE(std::equal(before.begin() + newShutdown + 1024, before.end(), after.begin() + newShutdown + 1024));
}

TEST_F(ApplyTest, UpdateGrowsAShortFileOnlyAsFarAsTheNewBlock) {
  addSets(root_ / "boot", root_ / "end", 2, 2);
  writeBytes(root_ / "prefer.dat", std::vector<std::uint8_t>(40, 0xAA));
  ApplyRequest rq = request({}, root_ / "end");
  rq.chosenPackage = (root_ / "prefer.dat").string();
  rq.widthText = "2";
  rq.heightText = "2";
  ASSERT_TRUE(applyPackage(rq, loader()).written);
  const auto after = readBytes(root_ / "prefer.dat");
  EXPECT_EQ(after.size(), 32u + 96 + 64);
  EXPECT_EQ(after[32], 0xAA);  // old bytes past the header stay
  EXPECT_EQ(after[39], 0xAA);
  EXPECT_EQ(after[40], 0x00);  // the gap up to the shutdown block is zero
}

class PackageReadTest : public ScratchTest {};

TEST_F(PackageReadTest, LayoutChecks) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  ASSERT_TRUE(applyPackage(request(root_ / "boot", root_ / "end"), loader()).written);
  auto bytes = readBytes(root_ / "prefer.dat");
  struct Case {
    const char* name;
    long delta;  // bytes added to (or cut from) the end
    bool startup, shutdown;
  };
  const Case cases[] = {
      {"as written", 0, true, true}, {"one byte longer", 1, true, false}, {"one byte shorter", -1, true, false}};
  for (const Case& c : cases) {
    auto b = bytes;
    if (c.delta > 0) b.push_back(0);
    if (c.delta < 0) b.pop_back();
    writeBytes(root_ / "p.dat", b);
    PackageInfo info;
    ASSERT_FALSE(readPackageInfo((root_ / "p.dat").string(), info)) << c.name;
    EXPECT_EQ(info.fileLength, b.size()) << c.name;
    EXPECT_EQ(info.startupLayoutOk(), c.startup) << c.name;
    EXPECT_EQ(info.shutdownLayoutOk(), c.shutdown) << c.name;
  }
}

TEST_F(PackageReadTest, TruncatedAndMalformedPackagesAreRefused) {
  const auto good = encodeHeader(makeHeader(4, 2, 0, 0, 0));
  std::vector<std::uint8_t> header(good.begin(), good.end());
  auto withFrames = [&](size_t frameBytes) {
    auto b = header;
    for (size_t i = 0; i < frameBytes; ++i) b.push_back(static_cast<std::uint8_t>(i));
    return b;
  };
  auto patched = [&](size_t at, std::uint32_t value) {
    auto b = withFrames(20 * 16);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return b;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    Animation animation;
    int frame;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"complete, last shutdown frame", withFrames(20 * 16), Animation::Shutdown, 7, true},
      {"complete, first start-up frame", withFrames(20 * 16), Animation::Startup, 0, true},
      {"frame 2 cut short", withFrames(16 + 15), Animation::Startup, 1, false},
      {"frame 1 whole", withFrames(16 + 15), Animation::Startup, 0, true},
      {"no frames", withFrames(0), Animation::Startup, 0, false},
      {"header cut at 31 bytes", std::vector<std::uint8_t>(header.begin(), header.begin() + 31), Animation::Startup, 0, false},
      {"empty file", {}, Animation::Startup, 0, false},
      {"shutdown offset near 4 GiB", patched(8, 0xFFFFFFF8u), Animation::Shutdown, 0, false},
      {"start-up offset past the end", patched(0, 1000), Animation::Startup, 0, false},
      {"zero width", [&] { auto b = withFrames(320); b[16] = 0; return b; }(), Animation::Startup, 0, false},
  };
  for (const Case& c : cases) {
    writeBytes(root_ / "p.dat", c.bytes);
    Picture picture;
    const auto error = readPackageFrame((root_ / "p.dat").string(), c.animation, c.frame, picture);
    EXPECT_EQ(!error, c.ok) << c.name << ": " << error.value_or("");
    if (c.ok) {
      EXPECT_EQ(picture.width * picture.height, 8) << c.name;
    }
  }
  PackageInfo info;
  EXPECT_EQ(readPackageInfo((root_ / "missing.dat").string(), info),
            "Cannot open " + (root_ / "missing.dat").string());
  writeBytes(root_ / "short.dat", std::vector<std::uint8_t>(31));
  EXPECT_EQ(readPackageInfo((root_ / "short.dat").string(), info),
            (root_ / "short.dat").string() + " is 31 bytes long, shorter than the 32-byte header");
}

}  // namespace
}  // namespace station::test

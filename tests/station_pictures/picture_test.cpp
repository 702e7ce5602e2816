// The picture seam against bitmap files whose every byte the test writes: bottom-up and
// top-down 24-bit rows with padding, the writer's own files, and what must not decode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "station/settings/frame_set.h"
#include "station/settings/picture.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/process.h"
#endif

namespace station {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A 24-bit BMP made by hand: `rows` top row first; stored bottom-up or top-down.
Bytes bmp24(int w, const std::vector<std::vector<std::uint32_t>>& rows, bool topDown) {
  const int h = static_cast<int>(rows.size());
  const int stride = (w * 3 + 3) / 4 * 4;
  Bytes b(54 + static_cast<size_t>(stride) * h, 0);
  auto put = [&](size_t at, std::int64_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, static_cast<std::int64_t>(b.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, w, 4);
  put(22, topDown ? -h : h, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int y = 0; y < h; ++y) {
    const size_t line = 54 + static_cast<size_t>(stride) * (topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) put(line + 3 * x, rows[y][x], 3);  // B, G, R
  }
  return b;
}

Picture fromRows(int w, const std::vector<std::vector<std::uint32_t>>& rows) {
  Picture p{w, static_cast<int>(rows.size()), {}};
  for (const auto& row : rows) p.rgb.insert(p.rgb.end(), row.begin(), row.end());
  return p;
}

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarn_picture_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const Bytes& bytes) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }
  fs::path dir_;
};

// Three points a row, so each row carries three bytes of padding; every point differs
// and no channel equals another, so a swapped channel, a flipped row or a shifted point shows.
const std::vector<std::vector<std::uint32_t>> kRows = {
    {0xFF0000, 0x00FF00, 0x0000FF},
    {0x123456, 0xABCDEF, 0x010203},
};

TEST_F(PictureTest, BottomUpAndTopDownGiveTheSamePoints) {
  const Picture want = fromRows(3, kRows);
  for (bool topDown : {false, true}) {
    auto got = loadPicture(write(topDown ? "down.bmp" : "up.bmp", bmp24(3, kRows, topDown)));
    ASSERT_TRUE(got) << (topDown ? "top-down" : "bottom-up");
    EXPECT_EQ(*got, want) << (topDown ? "top-down" : "bottom-up");
  }
}

TEST_F(PictureTest, WriterFilesReadBack) {
  struct { int w, h; } sizes[] = {{1, 1}, {3, 2}, {4, 3}, {5, 7}, {160, 128}};
  for (auto s : sizes) {
    Picture p{s.w, s.h, {}};
    for (int i = 0; i < s.w * s.h; ++i) p.rgb.push_back((i * 2654435761u) & 0xFFFFFFu);
    const Bytes bytes = encodeBmp24(p);
    EXPECT_EQ(bytes.size(), 54u + static_cast<size_t>((s.w * 3 + 3) / 4 * 4) * s.h);
    auto got = loadPicture(write("w.bmp", bytes));
    ASSERT_TRUE(got) << s.w << "x" << s.h;
    EXPECT_EQ(*got, p) << s.w << "x" << s.h;
  }
  // The writer's layout is the hand-made bottom-up one, byte for byte.
  const Bytes ours = encodeBmp24(fromRows(3, kRows)), byHand = bmp24(3, kRows, false);
  EXPECT_EQ(Bytes(ours.begin() + 54, ours.end()), Bytes(byHand.begin() + 54, byHand.end()));
}

TEST_F(PictureTest, WhatIsNotAPictureIsRefused) {
  Bytes cut = bmp24(3, kRows, false);
  cut.resize(40);
  EXPECT_FALSE(loadPicture(write("cut.bmp", cut)));
  EXPECT_FALSE(loadPicture(write("text.bmp", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'})));
  EXPECT_FALSE(loadPicture(write("empty.bmp", {})));
  EXPECT_FALSE(loadPicture((dir_ / "missing.bmp").string()));
}

#if defined(_WIN32) && defined(PREFERPACK_FROM_TEST)
// preferpack.exe, built on the Windows decoder: a package built from bitmap folders and
// extracted again gives the pictures back in 5-6-5 colour.
TEST_F(PictureTest, PreferpackBuildsAndExtractsWithoutQt) {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  const fs::path tool = (fs::path(std::string(self, n)).parent_path() / PREFERPACK_FROM_TEST).lexically_normal();
  auto run = [&](const std::string& args) {
    platform::ChildCommand cmd;
    cmd.windowsLine = "\"" + tool.string() + "\" " + args;
    platform::ChildResult r = platform::runChild(cmd, {});
    return r.ended() ? static_cast<int>(r.exitCode) : -1;
  };
  auto q = [](const fs::path& p) { return "\"" + p.string() + "\""; };
  std::map<std::string, Picture> quantised;
  auto frames = [&](const fs::path& folder, Animation a, std::uint32_t seed) {
    fs::create_directories(folder);
    for (int i = 1; i <= frameCount(a); ++i) {
      Picture p{16, 8, {}};
      for (int k = 0; k < 16 * 8; ++k) p.rgb.push_back(((seed + i) * 40503u + k * 7919u) & 0xFFFFFFu);
      write((folder / frameName(a, i)).lexically_relative(dir_).string(), encodeBmp24(p));
      for (auto& c : p.rgb) c = rgb565ToRgb(rgbTo565(c >> 16, (c >> 8) & 0xFF, c & 0xFF));
      quantised[frameName(a, i)] = p;
    }
  };
  frames(dir_ / "boot", Animation::Startup, 1);
  frames(dir_ / "end", Animation::Shutdown, 100);
  const fs::path out = dir_ / "prefer.dat";
  ASSERT_EQ(run("build --startup " + q(dir_ / "boot") + " --shutdown " + q(dir_ / "end") +
                " --width 16 --height 8 -o " + q(out)),
            0);
  EXPECT_EQ(fs::file_size(out), 32u + 20u * 16 * 8 * 2);
  ASSERT_EQ(run("extract " + q(out) + " " + q(dir_ / "frames")), 0);
  for (const auto& [name, want] : quantised) {
    auto got = loadPicture((dir_ / "frames" / name).string());
    ASSERT_TRUE(got) << name;
    EXPECT_EQ(*got, want) << name;
  }
}
#endif

}  // namespace
}  // namespace station

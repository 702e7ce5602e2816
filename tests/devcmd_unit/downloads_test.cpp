// File downloads: how a file is cut into chunks and what ends a download run.
#include <gtest/gtest.h>

#include "fake_device.h"
#include "temp_dir.h"

namespace devcmd::test {
namespace {

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return s;
}

struct ChunkCase {
  const char* word;
  uint8_t subOp;
  size_t fileSize;
  std::vector<uint32_t> chunks;
};

TEST(Download, FileGoesOutInChunksOfAtMost2048) {
  // clang-format off
  const ChunkCase cases[] = {
    {"wt_mgr", 0x78, 5000, {2048, 2048, 904}},
    {"wt_pgr", 0x7B, 4096, {2048, 2048, 0}},
    {"wt_cfg", 0x71, 0,    {0}},
    {"wt_cfg", 0x71, 1,    {1}},
    {"wt_pgr", 0x7B, 2047, {2047}},
    {"wt_mgr", 0x78, 2048, {2048, 0}},
  };
  // clang-format on
  TempDir dir;
  for (const ChunkCase& c : cases) {
    SCOPED_TRACE(std::string(c.word) + " " + std::to_string(c.fileSize));
    const std::string content = pattern(c.fileSize);
    const std::string path = dir.write("image.bin", content);
    Script s;
    const RunResult r = runTool({"E:", c.word, path}, s);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.out, kDone);
    ASSERT_EQ(s.sent.size(), c.chunks.size());
    std::string joined;
    for (size_t i = 0; i < s.sent.size(); ++i) {
      const Sent& p = s.sent[i];
      EXPECT_EQ(p.cdb, (std::vector<uint8_t>{0xEE, c.subOp, 0, 0, 0, 0}));
      EXPECT_EQ(p.dir, DataDir::Out);
      EXPECT_EQ(p.length, c.chunks[i]);
      EXPECT_EQ(p.timeout, 6u);
      joined.append(p.data.begin(), p.data.end());
    }
    EXPECT_EQ(joined, content);
  }
}

TEST(Download, FailedChunkStopsTheDownload) {
  TempDir dir;
  const std::string path = dir.write("fsm.bin", pattern(5000));
  struct Case {
    const char* word;
    const char* name;
  };
  for (const Case c : {Case{"wt_mgr", "cmd_bWriteFlashMgr"}, Case{"wt_pgr", "cmd_bWriteProgram"},
                       Case{"wt_cfg", "cmd_bWriteFlashCfg"}}) {
    Script s;
    s.answers.push_back(Answer{});
    s.answers.push_back({false, {}, 1167});
    const RunResult r = runTool({"E:", c.word, path}, s);
    EXPECT_EQ(r.code, 1u);
    EXPECT_EQ(r.out, std::string(c.name) + ", error: 1167  \n");
    EXPECT_EQ(s.sent.size(), 2u);
  }
}

TEST(Download, UnopenableFileSendsNothing) {
  TempDir dir;
  for (const char* word : {"wt_mgr", "wt_pgr", "wt_cfg"}) {
    Script s;
    const RunResult r = runTool({"E:", word, dir.file("missing.bin")}, s);
    EXPECT_EQ(r.code, 1u);
    EXPECT_EQ(r.out, "Can not open file\n");
    EXPECT_TRUE(s.sent.empty());
  }
}

// A folder opens on some systems but never reads; the run must end, not spin.
TEST(Download, UnreadableFileEndsTheRun) {
  TempDir dir;
  Script s;
  const RunResult r = runTool({"E:", "wt_pgr", dir.path().string()}, s);
  EXPECT_EQ(r.code, 1u);
  EXPECT_TRUE(r.out == "Can not open file\n" || r.out == "Can not read file\n") << r.out;
  EXPECT_TRUE(s.sent.empty());
}

}  // namespace
}  // namespace devcmd::test

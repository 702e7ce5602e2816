// The built devcmd answering from a simulated player (TARN_SIM) as a separate process: on
// Windows under Wine the same player folder, lock and trace as on Linux.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/player_store.h"
#include "support/scratch.h"
#include "tool_process.h"

namespace devcmd::test {
namespace {

uint32_t result(const ToolRun& r) {
#ifdef _WIN32
  return r.exitCode;
#else
  return uint32_t(std::stoul(r.resultText));
#endif
}

std::string lastLine(const std::string& text) {
  size_t end = text.find_last_not_of('\n');
  size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

TEST(DevcmdSimulated, AnswersFromThePlayerAndKeepsItsState) {
  const std::string root = tarn::testing::freshScratchDir("devcmd-sim").string();
  std::string error;
  tarnsim::PlayerSpec fsm;
  fsm.mode = tarnsim::Mode::Fsm;
  ASSERT_TRUE(tarnsim::createPlayer(root, 'E', fsm, error)) << error;
  ASSERT_TRUE(tarnsim::setPlugged(root, 'E', true, error)) << error;
  ASSERT_TRUE(tarnsim::createPlayer(root, 'F', {}, error)) << error;  // never plugged

  const std::string package = root + "/package.bin";
  std::string bytes(5000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
  std::ofstream(package, std::ios::binary) << bytes;
  struct Case {
    std::vector<std::string> args;
    uint32_t result;
    std::string traced;
  } cases[] = {
      {{"E:", "rd_id"}, 3973271957u, "EF 70 00 00 00 00 in 5"},
      {{"e:", "wt_pgr_s", "5000"}, 0, "EF 7A 00 00 13 88 in 1"},
      {{"E:", "wt_pgr", package}, 0, "EE 7B 00 00 00 00 out 904"},
      {{"E:", "wt_pgr_e"}, 0, "EF 7C 00 00 00 00 in 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const ToolRun r = runDevcmd(c.args, {{"TARN_SIM", root}}, true);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(result(r), c.result) << r.out;
    std::string trace;
    ASSERT_TRUE(tarnsim::readTrace(root, 'E', trace, error)) << error;
    EXPECT_EQ(lastLine(trace), c.traced);
  }
  tarnsim::PlayerState s;
  ASSERT_TRUE(tarnsim::readState(root, 'E', s, error)) << error;
  EXPECT_EQ(s.packageCount, 1u);
  unsigned sum = 0;
  for (char b : bytes) sum += uint8_t(b);
  EXPECT_EQ(s.keptPackage(0).checksum, uint16_t(sum));

  // An unplugged player is an absent drive.
  const ToolRun absent = runDevcmd({"F:", "rd_id"}, {{"TARN_SIM", root}}, true);
  EXPECT_EQ(absent.out.substr(0, 35), "CreateFile, Error opening F:. Error");
  EXPECT_EQ(result(absent), 1u);
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace devcmd::test

// Launch-and-wait with real child processes.
#include "support/recording_station.h"
#include "platform/process.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace station {
namespace {

std::string fakeTool() {
  std::string path = FAKE_TOOL;
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
  path = "Z:" + path;
#endif
  return path;
}

platform::ChildCommand fake(std::vector<std::string> args) {
  platform::ChildCommand cmd;
  cmd.argv = {fakeTool()};
  cmd.argv.insert(cmd.argv.end(), args.begin(), args.end());
  std::string line(1, '"');
  line.append(fakeTool());
  line.push_back('"');
  cmd.windowsLine = std::move(line);
  for (const auto& a : args) cmd.windowsLine += " " + a;
  return cmd;
}

TEST(LaunchAndWait, ExitCodes) {
  struct Case {
    std::vector<std::string> args;
    uint32_t code;
  } cases[] = {
      {{"exit", "0"}, 0},
      {{"exit", "225"}, 225},
      {{"exit", "259"}, 259},  // STILL_ACTIVE's value: ends the wait all the same
      {{"exit", "25601"}, 25601},
      {{"exit", "3973271957"}, 3973271957u},
      {{"exit", "4402123"}, 4402123},
#ifndef _WIN32
      {{"status", "42"}, 42},  // nothing in the channel: the exit status
      {{"status", "259"}, 3},
      {{"crash"}, platform::kChildKilled},
#endif
  };
  for (const auto& c : cases) {
    for (unsigned poll : {1u, 30u}) {
      platform::ChildResult r = platform::runChild(fake(c.args), {poll, 0, {}});
      EXPECT_EQ(r.outcome, platform::ChildOutcome::Ended) << c.args[0];
      EXPECT_EQ(r.exitCode, c.code) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
    }
  }
}

TEST(LaunchAndWait, PumpWhileWaiting) {
  int pumps = 0;
  platform::ChildResult r =
      platform::runChild(fake({"sleep", "1"}), {10, 0, [&pumps] { ++pumps; }});
  EXPECT_TRUE(r.ended());
  EXPECT_GT(pumps, 0);
}

TEST(LaunchAndWait, ProgramThatCannotStart) {
  platform::ChildCommand cmd;
  cmd.argv = {"./misc/no-such-program"};
  cmd.windowsLine = ".\\misc\\no-such-program.exe E: rd_id";
  platform::ChildResult r = platform::runChild(cmd, {30, 0, {}});
  EXPECT_EQ(r.outcome, platform::ChildOutcome::NotStarted);
}

TEST(LaunchAndWait, BoundedWatchLeavesTheChildRunning) {
  platform::ChildResult r = platform::runChild(fake({"sleep", "3"}), {10, 2, {}});
  EXPECT_EQ(r.outcome, platform::ChildOutcome::StillRunning);
}

TEST(LaunchAndWait, ParallelChildrenKeepTheirOwnResults) {
  std::vector<std::thread> workers;
  uint32_t got[8] = {};
  for (int i = 0; i < 8; ++i)
    workers.emplace_back([i, &got] {
      uint32_t want = 0xECD35100u + static_cast<uint32_t>(i);
      for (int n = 0; n < 5; ++n) {
        platform::ChildResult r = platform::runChild(fake({"exit", std::to_string(want)}), {1, 0, {}});
        if (!r.ended() || r.exitCode != want) return;
      }
      got[i] = want;
    });
  for (auto& w : workers) w.join();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(got[i], 0xECD35100u + static_cast<uint32_t>(i));
}

#ifndef _WIN32
TEST(LaunchAndWait, OutputCapture) {
  std::string out;
  platform::ChildCommand cmd = fake({"print", "MY_AUDIO\n"});
  cmd.output = &out;
  EXPECT_TRUE(platform::runChild(cmd, {30, 0, {}}).ended());
  EXPECT_EQ(out, "MY_AUDIO\n");
}

// The wrappers through the real launch-and-wait: ./misc/devcmd relative to the current
// folder, the arguments without a shell, the full 32-bit answer.
TEST(DeviceToolProcess, RunsTheToolInMisc) {
  auto dir = testing::scratchDir("dist");
  std::filesystem::create_directories(dir / "misc");
  std::filesystem::copy_file(FAKE_TOOL, dir / "misc" / "devcmd");
  std::filesystem::copy_file(FAKE_TOOL, dir / "misc" / "usbdos");
  testing::writeFile(dir / "plan", "3973271957\n259\nstatus 1\n4402123\n");
  setenv("FAKE_TOOL_PLAN", (dir / "plan").c_str(), 1);
  setenv("FAKE_TOOL_LOG", (dir / "log").c_str(), 1);
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir);

  testing::RecordingStation view;
  view.files = {(dir / "my files" / "prefer.dat").string()};
  std::filesystem::create_directories(dir / "my files");
  testing::sizedFile(dir / "my files" / "prefer.dat", 1234);
  DeviceTool tool(systemLauncher(), view, view);
  EXPECT_EQ(tool.readFlashId('E'), 3973271957u);
  EXPECT_EQ(tool.sizeMB('E'), 259u);
  EXPECT_FALSE(tool.writePackage('E', PackageKind::Preferences));
  EXPECT_EQ(tool.portFinder(4), 4402123u);

  std::filesystem::current_path(old);
  unsetenv("FAKE_TOOL_PLAN");
  unsetenv("FAKE_TOOL_LOG");
  std::ifstream log(dir / "log");
  std::vector<std::string> lines;
  for (std::string l; std::getline(log, l);) lines.push_back(l);
  std::vector<std::string> want = {"E:|rd_id", "E:|get_size_MB",
                                   "E:|wt_pgr|" + (dir / "my files" / "prefer.dat").string(), "4"};
  EXPECT_EQ(lines, want);
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace
}  // namespace station

// mpstation as a program: the single instance and the headless mode's exits.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("TARN_INSTANCE_DIR");  // the lock goes with the simulation root
    unsetenv("TARN_SIM");
    root_ = tarn::testing::freshScratchDir("tarn_program");
    fs::create_directories(root_ / "station" / "misc");
    fs::create_directories(root_ / "sim");
    fs::copy_file(fs::path(TARN_DIST_DIR) / "mpstation", station("mpstation"));
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string station(const std::string& rel) const { return (root_ / "station" / rel).string(); }
  std::string command(const std::string& args) const {
    return "env -u TARN_INSTANCE_DIR -u TARN_SIM '" + station("mpstation") + "' --sim '" +
           (root_ / "sim").string() + "' " + args;
  }
  static int exitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path root_;
};

TEST_F(ProgramTest, SecondStartTouchesNothingAndEnds) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string program = station("mpstation"), sim = (root_ / "sim").string();
  const char* argv[] = {program.c_str(), "--sim", sim.c_str(), "--headless", "--timeout", "60", nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::FILE* first = fdopen(out[0], "r");
  ASSERT_NE(first, nullptr);
  char line[512];
  bool ready = false;
  while (!ready && std::fgets(line, sizeof line, first)) ready = std::string(line) == "ready\n";
  ASSERT_TRUE(ready);
  std::ofstream(station("misc/port.log"), std::ios::binary) << "E:<--\r\n";

  EXPECT_EQ(exitCode(std::system((command("--headless --runs 1 --timeout 5") + " 2>/dev/null").c_str())), 4);
  EXPECT_EQ(read(station("misc/port.log")), "E:<--\r\n") << "the running station's log is untouched";

  // The first one closes on a signal as the window would: its files are saved.
  kill(pid, SIGTERM);
  while (std::fgets(line, sizeof line, first)) {
  }
  std::fclose(first);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(exitCode(status), 0);
  EXPECT_TRUE(fs::exists(station("misc/prefer.ini")));
  EXPECT_TRUE(fs::exists(station("misc/seting.ini")));
}

TEST_F(ProgramTest, HeadlessExitCodes) {
  struct Case { const char* args; int exit; };
  const Case cases[] = {
      {"--headless --runs 1 --timeout 1", 3},  // nothing arrives: the time limit ends it
      {"--headless --runs x", 2},
      {"--bogus", 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(exitCode(std::system((command(c.args) + " >/dev/null 2>&1").c_str())), c.exit) << c.args;
}

}  // namespace

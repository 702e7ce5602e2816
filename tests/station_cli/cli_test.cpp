// --help, --version, a wrong option, a wrong number and a missing folder for mpstation,
// mprecords, preferpack and tarnsim: one contract, one table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/scratch.h"
#include "tarn_version.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Ran {
  int code = -1;
  std::string out, err;
};

// `program` from `folder` with `args` (shell words), no display and no simulation root
// from the environment.
Ran run(const tarn::testing::TempFolder& scratch, const fs::path& folder, const std::string& program,
        const std::string& args) {
  const std::string out = scratch.file("out"), err = scratch.file("err");
  const std::string line = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TARN_SIM '" +
                           (folder / program).string() + "' " + args + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(line.c_str());
  Ran r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = tarn::testing::readFile(out);
  r.err = tarn::testing::readFile(err);
  return r;
}

TEST(CommandLine, OurProgramsKeepOneContract) {
  tarn::testing::ScratchDir scratch("cli");
  const fs::path dist = TARN_DIST_DIR;
  // A station folder without misc/.
  const fs::path bare = scratch.path() / "bare";
  fs::create_directories(bare);
  fs::copy_file(dist / "mpstation", bare / "mpstation");
  const std::string missing = (scratch.path() / "missing").string();
  const std::string sim = "--sim '" + scratch.path().string() + "'";  // its lock goes there too

  struct Case {
    fs::path folder;
    const char* program;
    std::string args;
    int code;
    bool onStdout;      // else standard error
    std::string says;   // the first line starts with it
  };
  const std::string v = TARN_VERSION;
  const std::vector<Case> cases = {
      {dist, "mpstation", "--help", 0, true, "usage: mpstation "},
      {dist, "mpstation", "--version", 0, true, "mpstation " + v},
      {dist, "mpstation", "--headles", 2, false, "mpstation: unknown option --headles (mpstation --help lists"},
      {dist, "mpstation", "--headless --runs abc", 2, false, "mpstation: --runs wants a whole number"},
      {dist, "mpstation", "--headless --timeout", 2, false, "mpstation: --timeout needs a value"},
      {dist, "mpstation", "--headless now", 2, false, "mpstation: unexpected argument now"},
      {dist, "mpstation", "--headless --screenshot s.png", 2, false,
       "mpstation: --screenshot needs a window, not --headless"},
      {dist, "mpstation", "--headless --sim '" + missing + "'", 2, false, "mpstation: --sim: no folder " + missing},
      {dist, "mpstation", sim, 1, false, "mpstation: no display; use --headless"},
      {bare, "mpstation", "--headless " + sim, 6, false, "mpstation: cannot start: missing " + (bare / "misc").string()},
      {dist, "mprecords", "--help", 0, true, "usage: mprecords "},
      {dist, "mprecords", "--version", 0, true, "mprecords " + v},
      {dist, "mprecords", "list --frm 2026-12-08", 2, false, "mprecords: unknown option --frm (mprecords --help"},
      {dist, "preferpack", "--help", 0, true, "usage: preferpack "},
      {dist, "preferpack", "--version", 0, true, "preferpack " + v},
      {dist, "preferpack", "build --startup x --shutdwn y -o z", 2, false, "preferpack: unknown option --shutdwn"},
      {dist, "preferpack", "build --startup '" + missing + "' --shutdown y -o z", 1, false,
       "preferpack: " + missing + ": no folder " + missing},
      {dist, "tarnsim", "--help", 0, true, "usage:"},
      {dist, "tarnsim", "--version", 0, true, "tarnsim " + v},
      {dist, "tarnsim", "create . E --colour red", 2, false, "tarnsim: unknown option --colour (tarnsim --help"},
      {dist, "tarnsim", "create . E --items many", 2, false, "tarnsim: --items wants 0..255"},
      {dist, "tarnsim", "create '" + missing + "' E", 1, false, "tarnsim: no folder " + missing},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.program) + " " + c.args;
    const Ran r = run(scratch, c.folder, c.program, c.args);
    EXPECT_EQ(r.code, c.code) << what << "\n" << r.out << r.err;
    const std::string& text = c.onStdout ? r.out : r.err;
    EXPECT_THAT(text, StartsWith(c.says)) << what;
    if (c.code == 2) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << ": one line";
    }
    if (c.code == 0) {
      EXPECT_EQ(r.err, "") << what;
    }
  }
  EXPECT_FALSE(fs::exists(missing)) << "nothing made where a folder was missing";
}

}  // namespace

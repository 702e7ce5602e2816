// The shell around any front end: the order it drives the front end in, and how the run
// limit, the time limit, a stop request, the picture and a failed close end the station.
#include <gtest/gtest.h>

#include <atomic>

#include "station/program/shell.h"
#include "support/model_fixture.h"
#include "support/scripted_host.h"

namespace station::testing {
namespace {

class NullLock : public platform::InstanceLock {
 public:
  void release() override {}
  bool held() const override { return true; }
  void setWindow(void*) override {}
  void onRaiseRequest(std::function<void()>) override {}
};

class ShellTest : public ModelTest {
 protected:
  int run(ScriptedHost& host, ShellOptions o) {
    EXPECT_TRUE(FormCreate(m(), platform::InstanceCheck{std::make_unique<NullLock>(), false}));
    o.pollMs = 1;
    StationShell shell(m(), host, nullptr, nullptr, std::move(o));
    return shell.run();
  }
  // A run tallied at `tick`.
  std::function<void(int)> tallies(std::vector<std::pair<int, bool>> runs) {
    return [this, runs](int tick) {
      for (auto [at, ok] : runs)
        if (at == tick) {
          m().rows().runStarted();
          m().rows().runEnded(ok);
        }
    };
  }
};

TEST_F(ShellTest, DrivesTheFrontEndInItsOrder) {
  ScriptedHost host;
  ShellOptions o;
  o.runs = 1;
  host.script = tallies({{3, true}});
  EXPECT_EQ(run(host, o), kExitAllSucceeded);
  EXPECT_EQ(host.events,
            (std::vector<std::string>{"configure", "bind", "made", "show", "ready", "close asked", "close", "drain"}));
  EXPECT_TRUE(host.fe.has("timer Form1=1")) << "the notifications looked at on the window's timer";
  EXPECT_TRUE(host.fe.has("timer Form1=0")) << "and no longer after the close";
}

TEST_F(ShellTest, HowTheStationEnds) {
  struct Case {
    const char* name;
    int runs, timeout;
    std::vector<std::pair<int, bool>> tallied;
    bool stopAt5 = false, fromTally = true;
    std::string picture;
    bool pictureWritten = true;
    bool closeFails = false, windowStaysOpen = false;
    int exit;
    std::vector<std::string> traced = {}, pictures = {};
  };
  const Case cases[] = {
      {"every run succeeded", 2, 0, {{2, true}, {4, true}}, false, true, "", true, false, false, kExitAllSucceeded},
      {"a run failed", 2, 0, {{2, true}, {4, false}}, false, true, "", true, false, false, kExitRunFailed},
      {"the time limit", 2, 1, {{2, true}}, false, true, "", true, false, false, kExitTimedOut,
       {"timeout: 1 of 2 runs tallied"}},
      {"a stop request, the runs so far all good", 0, 0, {{2, true}}, true, true, "", true, false, false,
       kExitAllSucceeded},
      {"a stop request after a failed run", 0, 0, {{2, false}}, true, true, "", true, false, false, kExitRunFailed},
      {"a window closed by its operator ends with 0", 0, 0, {{2, false}}, true, false, "", true, false, false,
       kExitAllSucceeded},
      {"the picture once the runs are tallied", 1, 0, {{2, true}}, false, true, "w.png", true, false, false,
       kExitAllSucceeded, {}, {"w.png"}},
      {"a picture not written", 1, 0, {{2, true}}, false, true, "w.png", false, false, false, kExitRunFailed, {},
       {"w.png"}},
      {"no picture at a stop request", 0, 0, {}, true, true, "w.png", true, false, false, kExitAllSucceeded},
      {"settings not saved: headless ends all the same", 1, 0, {{2, true}}, false, true, "", true, true, false,
       kExitCloseFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (c.closeFails) fs::create_directories(root_ / "misc" / "prefer.ini");
    std::atomic<bool> stop{false};
    ScriptedHost host;
    auto tally = tallies(c.tallied);
    host.script = [&](int tick) {
      tally(tick);
      if (c.stopAt5 && tick == 5) stop = true;
    };
    host.pictureWritten = c.pictureWritten;
    host.windowStaysOpen = c.windowStaysOpen;
    ShellOptions o;
    o.runs = c.runs;
    o.timeoutSeconds = c.timeout;
    o.stop = &stop;
    o.exitFromTally = c.fromTally;
    o.screenshot = c.picture;
    EXPECT_EQ(run(host, o), c.exit);
    EXPECT_EQ(host.traced, c.traced);
    EXPECT_EQ(host.pictures, c.pictures);
    if (!c.pictures.empty()) {
      // A picture taken after the close was asked may show no window at all (Win32 lets
      // the window's messages run while it captures).
      auto picture = std::find(host.events.begin(), host.events.end(), "picture");
      EXPECT_LT(picture - host.events.begin(),
                std::find(host.events.begin(), host.events.end(), "close asked") - host.events.begin());
    }
    EXPECT_EQ(fs::is_regular_file(root_ / "misc" / "seting.ini"), !c.closeFails) << "closed as the window would";
  }
}

// A window whose close fails stays open and is closed again later; the station then ends
// as usual.
TEST_F(ShellTest, AWindowStaysOpenWhenItsCloseFails) {
  fs::create_directories(root_ / "misc" / "prefer.ini");
  ScriptedHost host;
  host.windowStaysOpen = true;
  std::atomic<bool> stop{false};
  host.script = [&](int tick) {
    if (tick == 2) stop = true;
    if (tick == 50) {
      fs::remove(root_ / "misc" / "prefer.ini");
      host.requestClose();  // the operator closes it again
    }
  };
  ShellOptions o;
  o.stop = &stop;
  EXPECT_EQ(run(host, o), kExitAllSucceeded);
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "close"), 2);
  EXPECT_TRUE(fs::is_regular_file(root_ / "misc" / "prefer.ini"));
}

}  // namespace
}  // namespace station::testing

#include "support/model_fixture.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <thread>

#include "station/frontend/headless/headless.h"
#include "station/program/shell.h"

namespace station::testing {
namespace {

// Hands out one scripted batch of notices per poll.
class ScriptedEvents : public platform::VolumeEvents {
 public:
  std::deque<std::vector<platform::VolumeNotice>> batches;
  std::mutex mu;  // a test may add batches while the station polls
  std::vector<platform::VolumeNotice> poll() override {
    std::lock_guard<std::mutex> lock(mu);
    if (batches.empty()) return {};
    auto b = batches.front();
    batches.pop_front();
    return b;
  }
  void add(std::vector<platform::VolumeNotice> batch) {
    std::lock_guard<std::mutex> lock(mu);
    batches.push_back(std::move(batch));
  }
};

// The operator's side of a station running on its own thread: commands typed one by one,
// the printed trace followed line by line.
class Operator {
 public:
  bool read(std::string& line) {
    std::unique_lock<std::mutex> lock(mu_);
    changed_.wait(lock, [&] { return !typed_.empty() || ended_; });
    if (typed_.empty()) return false;
    line = typed_.front();
    typed_.pop_front();
    return true;
  }
  void printed(const std::string& line) {
    std::lock_guard<std::mutex> lock(mu_);
    trace_.push_back(line);
    if (line.rfind("ok: ", 0) == 0 || line.rfind("error: ", 0) == 0) answers_.push_back(line);
    changed_.notify_all();
  }
  // Types a command and waits for its answer.
  std::string type(const std::string& command) {
    std::unique_lock<std::mutex> lock(mu_);
    const size_t before = answers_.size();
    typed_.push_back(command);
    changed_.notify_all();
    if (!changed_.wait_for(lock, std::chrono::seconds(20), [&] { return answers_.size() > before; }))
      return "no answer";
    return answers_[before];
  }
  bool waitFor(const std::string& line) {
    std::unique_lock<std::mutex> lock(mu_);
    return changed_.wait_for(lock, std::chrono::seconds(20),
                             [&] { return std::find(trace_.begin(), trace_.end(), line) != trace_.end(); });
  }
  void end() {
    std::lock_guard<std::mutex> lock(mu_);
    ended_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable changed_;
  std::deque<std::string> typed_;
  std::vector<std::string> trace_, answers_;
  bool ended_ = false;
};

// The headless front end under the shell, as mpstation --headless runs it.
int runHeadless(StationModel& model, platform::VolumeEvents& events, ArrivalContext& context,
                const HeadlessOptions& options, const ShellOptions& shellOptions) {
  HeadlessHost host(options);
  StationShell shell(model, host, &events, &context, shellOptions);
  return shell.run();
}

class HeadlessTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    for (char d : std::string("EFGHIJKLM")) launcher_.codes[std::string(1, d) + ":"] = 225;
    // A stand-in run on its own thread: finds its slot, shows two steps, tallies.
    model_->setRunStarter([this](char drive) {
      workers_.emplace_back([this, drive] {
        int slot = m().rows().findSlot(drive);
        m().rows().runStarted();
        m().rows().setStatusText(slot, "FILE Writing...", TextColour::WindowText);
        m().rows().setProgress(slot, 5);
        bool ok = failing_.find(drive) == std::string::npos;
        m().rows().setStatusText(slot, ok ? "successful" : "Format fail", ok ? TextColour::Blue : TextColour::Red);
        m().rows().runEnded(ok);
      });
    });
    out_ = std::tmpfile();
    ASSERT_NE(out_, nullptr);
  }
  void TearDown() override {
    for (auto& w : workers_) w.join();
    std::fclose(out_);
    ModelTest::TearDown();
  }
  int run(int runs, int timeout = 60, const StartupHooks& hooks = {},
          std::function<void(int)> exitNow = nullptr) {
    HeadlessOptions o;
    o.out = out_;
    ShellOptions so;
    so.runs = runs;
    so.timeoutSeconds = timeout;
    so.pollMs = 5;
    so.hooks = hooks;
    if (exitNow) so.exitNow = exitNow;
    EXPECT_TRUE(FormCreate(m(), platform::InstanceCheck{std::make_unique<NullLock>(), false}));
    DeviceTool tool(launcher_, m().reporter(), m().runSettings(), "misc");
    ArrivalContext context{tool, [](unsigned) {}};
    int code = runHeadless(m(), events_, context, o, so);
    for (auto& w : workers_) w.join();
    workers_.clear();
    return code;
  }
  std::vector<std::string> lines() {
    std::fflush(out_);
    std::rewind(out_);
    std::vector<std::string> all;
    char buf[1024];
    while (std::fgets(buf, sizeof buf, out_)) {
      std::string l(buf);
      if (!l.empty() && l.back() == '\n') l.pop_back();
      all.push_back(l);
    }
    return all;
  }
  bool has(const std::string& line) {
    auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
  }
  static platform::VolumeNotice plug(const char* letters) {
    return {platform::VolumeChange::Arrival, letters};
  }

  class NullLock : public platform::InstanceLock {
   public:
    void release() override { held_ = false; }
    bool held() const override { return held_; }
    void setWindow(void*) override {}
    void onRaiseRequest(std::function<void()>) override {}
    bool held_ = true;
  };

  ScriptedLauncher launcher_;
  ScriptedEvents events_;
  std::vector<std::thread> workers_;
  std::string failing_;
  std::FILE* out_ = nullptr;
};

TEST_F(HeadlessTest, StopsOnceTheRunsAreTallied) {
  struct Case { const char* name; std::string failing; int exit; const char* counters; };
  const Case cases[] = {
      {"all succeed", "", kExitAllSucceeded, "counters: total=2 success=2 fail=0 running=0 occupied=2"},
      {"one fails", "F", kExitRunFailed, "counters: total=2 success=1 fail=1 running=0 occupied=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    failing_ = c.failing;
    events_.batches = {{plug("E")}, {plug("F")}};
    EXPECT_EQ(run(2), c.exit);
    auto all = lines();
    ASSERT_FALSE(all.empty());
    EXPECT_TRUE(has("ready"));
    EXPECT_TRUE(has("volume: arrival E"));
    EXPECT_TRUE(has("row 1: \"Waiting device...\" window 0 bar=shown picture=- port=\"\" spare=\"\""));
    EXPECT_TRUE(has("row 1: \"FILE Writing...\" window 5 bar=shown picture=- port=\"\" spare=\"\""));
    EXPECT_TRUE(has("row 1: \"successful\" blue 5 bar=shown picture=- port=\"\" spare=\"\""));
    EXPECT_TRUE(has(c.counters));
    // Start-up and close orders ran: the settings and the copy list are on disk.
    EXPECT_TRUE(fs::exists(root_ / "misc" / "prefer.ini"));
    EXPECT_TRUE(fs::exists(root_ / "misc" / "seting.ini"));
    EXPECT_FALSE(m().instanceLockHeld());
  }
}

TEST_F(HeadlessTest, ModalMessagesArePrintedAndAnswered) {
  events_.batches = {{plug("EFGHIJKLM")}};  // one notice: M comes after the eighth run started
  failing_ = "";
  EXPECT_EQ(run(8), kExitAllSucceeded);
  EXPECT_TRUE(has("message: Status: Exceed the device limit!"));
}

TEST_F(HeadlessTest, TimeLimitEndsWithItsOwnCode) {
  EXPECT_EQ(run(1, 1), kExitTimedOut);
  EXPECT_TRUE(has("timeout: 0 of 1 runs tallied"));
  EXPECT_TRUE(fs::exists(root_ / "misc" / "prefer.ini")) << "closed as the window would";
}

// Manual upgrade mode and the copy list driven through the command input alone.
TEST_F(HeadlessTest, ManualUpgradeAndCopyListByCommands) {
  auto op = std::make_shared<Operator>();
  HeadlessOptions o;
  o.out = out_;
  ShellOptions so;
  so.pollMs = 5;
  so.timeoutSeconds = 120;
  o.commands = [op](std::string& line) { return op->read(line); };
  o.echo = [op](const std::string& line) { op->printed(line); };
  ASSERT_TRUE(FormCreate(m(), platform::InstanceCheck{std::make_unique<NullLock>(), false}));
  DeviceTool tool(launcher_, m().reporter(), m().runSettings(), "misc");
  ArrivalContext context{tool, [](unsigned) {}};
  int code = -1;
  std::thread station([&] { code = runHeadless(m(), events_, context, o, so); });
  ASSERT_TRUE(op->waitFor("ready"));

  EXPECT_EQ(op->type("check CheckManuupgrade 1"), "ok: check CheckManuupgrade 1");
  events_.add({plug("EFG")});
  EXPECT_TRUE(op->waitFor("row 3: \"device plugin\" window 0 bar=shown picture=- port=\"\" spare=\"\""));
  EXPECT_EQ(op->type("start"), "ok: start (3 runs)");
  EXPECT_EQ(op->type("start"), "ok: start (0 runs)") << "a second press starts nothing";
  ASSERT_TRUE(op->waitFor("counters: total=3 success=3 fail=0 running=0 occupied=3"));

  // A firmware program for chip variant 7, then an ordinary file.
  std::string program(8192, '\0');
  program += std::string("\x70\x08\xA5\x5A\x07", 5);
  writeFile(root_ / "fw" / "Program.BIN", program);
  writeFile(root_ / "song.mp3", "tune");
  const std::string programPath = (root_ / "fw" / "Program.BIN").string();
  const std::string songPath = (root_ / "song.mp3").string();
  EXPECT_EQ(op->type("add " + programPath), "ok: add " + programPath);
  EXPECT_EQ(m().files().sdkBondingId(), 7);
  EXPECT_EQ(op->type("add " + songPath), "ok: add " + songPath);
  EXPECT_EQ(m().files().sdkBondingId(), 7);
  EXPECT_EQ(op->type("remove 0"), "ok: remove 0");
  EXPECT_EQ(m().files().copyList(), std::vector<std::string>{songPath});
  EXPECT_EQ(m().files().sdkBondingId(), 7) << "a removal does not read it again";
  writeFile(root_ / "talk.mp3", "words");
  const std::string talkPath = (root_ / "talk.mp3").string();
  EXPECT_EQ(op->type("add " + talkPath), "ok: add " + talkPath);
  EXPECT_EQ(m().files().sdkBondingId(), 0) << "the next addition reads it again";
  const std::vector<std::string> list{songPath, talkPath};
  EXPECT_EQ(m().files().copyList(), list);
  EXPECT_EQ(op->type("label factory7"), "ok: label factory7");
  EXPECT_EQ(m().controls().labelText(), "FACTORY7");

  // Wrong commands are answered and change nothing.
  const std::pair<const char*, const char*> wrong[] = {
      {"bogus", "error: unknown command: bogus"},
      {"remove 2", "error: no item 2"},
      {"remove -1", "error: usage: remove INDEX"},
      {"remove", "error: usage: remove INDEX"},
      {"check chkFormat 2", "error: usage: check NAME 0|1"},
      {"check Upgradebtn 1", "error: no check box Upgradebtn"},
      {"check chkEraseAll 1", "error: chkEraseAll cannot be used now"},
      {"combo SystemAreaComBo 3", "error: SystemAreaComBo cannot be used now"},
      {"combo SystemAreaComBo 16", "error: no item 16"},
      {"combo LabelEdit 0", "error: no combo box LabelEdit"},
      {"label", "error: usage: label TEXT"},
      {"label MY.AUDIO", "error: the volume label \"MY.AUDIO\" holds '.', which FAT does not take (nor any of "
                         "*?.,;:/\\|+=<>[]\")"},
      {"label A*B", "error: the volume label \"A*B\" holds '*', which FAT does not take (nor any of "
                    "*?.,;:/\\|+=<>[]\")"},
      {"add /no/such/file", "error: no such file: /no/such/file"},
      {"start now", "error: usage: start"},
      {"", "error: empty command"},
  };
  const Settings before = m().controls().settings();
  for (auto [command, answer] : wrong) EXPECT_EQ(op->type(command), answer) << command;
  EXPECT_EQ(m().files().copyList(), list);
  EXPECT_EQ(m().controls().settings().LabelEdit, before.LabelEdit);
  EXPECT_EQ(m().controls().settings().SystemAreaComBo, before.SystemAreaComBo);
  EXPECT_EQ(m().controls().settings().chkFormat, before.chkFormat);

  EXPECT_EQ(op->type("quit"), "ok: quit");
  station.join();
  op->end();
  EXPECT_EQ(code, kExitAllSucceeded);
  EXPECT_EQ(readFile(root_ / "misc" / "seting.ini"), songPath + "\r\n" + talkPath + "\r\n")
      << "the list as it was at close";
}

// Held up anywhere, the station still ends at its time limit: during start-up it leaves the
// files alone (nothing was loaded that could be saved), afterwards it closes as the window
// would.
TEST_F(HeadlessTest, TimeLimitEndsAHeldUpStation) {
  for (bool duringStartup : {true, false}) {
    SCOPED_TRACE(duringStartup ? "during start-up" : "after start-up");
    TearDown();
    SetUp();
    std::promise<void> released;
    std::shared_future<void> hold = released.get_future().share();
    StartupHooks hooks;
    if (duringStartup) hooks.validateFrameFolders = [hold](StationModel&) { hold.wait(); };
    else events_.batches = {{plug("E")}};
    launcher_.onRun = [hold, duringStartup](const std::string&) {
      if (!duringStartup) hold.wait();  // the arrival's device-tool run never ends
    };
    int exited = -1;
    int code = run(1, 1, hooks, [&](int c) {
      exited = c;
      released.set_value();
    });
    EXPECT_EQ(exited, kExitTimedOut);
    EXPECT_EQ(code, kExitTimedOut);
    EXPECT_EQ(has("timeout during start-up; nothing saved"), duringStartup);
    EXPECT_EQ(fs::exists(root_ / "misc" / "prefer.ini"), !duringStartup);
  }
}

}  // namespace
}  // namespace station::testing

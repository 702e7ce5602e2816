#include "support/model_fixture.h"

#include <deque>
#include <thread>

#include "station/frontend/headless/headless.h"

namespace station::testing {
namespace {

// Hands out one scripted batch of notices per poll.
class ScriptedEvents : public platform::VolumeEvents {
 public:
  std::deque<std::vector<platform::VolumeNotice>> batches;
  std::vector<platform::VolumeNotice> poll() override {
    if (batches.empty()) return {};
    auto b = batches.front();
    batches.pop_front();
    return b;
  }
};

class HeadlessTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    for (char d : std::string("EFGHIJKLM")) launcher_.codes[std::string(1, d) + ":"] = 225;
    // A stand-in run on its own thread: finds its slot, shows two steps, tallies.
    model_->setRunStarter([this](char drive) {
      workers_.emplace_back([this, drive] {
        int slot = m().findSlot(drive);
        m().runStarted();
        m().setStatusText(slot, "FILE Writing...", TextColour::WindowText);
        m().setProgress(slot, 5);
        bool ok = failing_.find(drive) == std::string::npos;
        m().setStatusText(slot, ok ? "successful" : "Format fail", ok ? TextColour::Blue : TextColour::Red);
        m().runEnded(ok);
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
  int run(int runs, int timeout = 60) {
    HeadlessOptions o;
    o.runs = runs;
    o.timeoutSeconds = timeout;
    o.pollMs = 5;
    o.out = out_;
    EXPECT_TRUE(FormCreate(m(), platform::InstanceCheck{std::make_unique<NullLock>(), false}));
    DeviceTool tool(launcher_, m(), "misc");
    ArrivalContext context{tool, [](unsigned) {}};
    int code = runHeadless(m(), events_, context, o);
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
      {"all succeed", "", kHeadlessAllSucceeded, "counters: total=2 success=2 fail=0 running=0 occupied=2"},
      {"one fails", "F", kHeadlessRunFailed, "counters: total=2 success=1 fail=1 running=0 occupied=2"},
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
  EXPECT_EQ(run(8), kHeadlessAllSucceeded);
  EXPECT_TRUE(has("message: Status: Exceed the device limit!"));
}

TEST_F(HeadlessTest, TimeLimitEndsWithItsOwnCode) {
  EXPECT_EQ(run(1, 1), kHeadlessTimedOut);
  EXPECT_TRUE(has("timeout: 0 of 1 runs tallied"));
  EXPECT_TRUE(fs::exists(root_ / "misc" / "prefer.ini")) << "closed as the window would";
}

}  // namespace
}  // namespace station::testing

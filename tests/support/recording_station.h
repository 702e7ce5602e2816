// Recording fakes of what the device operations report to and read (one object for both),
// and of launch-and-wait.
#pragma once

#include "station/ops/device_tool.h"
#include "station/ops/run_reporter.h"
#include "support/fake_run_settings.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace station::testing {

class RecordingStation : public RunReporter, public FakeRunSettings {
 public:
  // Every change, in order, as "what slot value".
  std::vector<std::string> events;
  char drive[DEVICE_COUNT] = {};
  std::string port[DEVICE_COUNT];
  std::map<std::string, std::string> texts = {
      {"BlankingCheckStr", "Blanking Check"},
      {"HubPortExeccdStr", "Exceed USB Port limitation"},
      {"FailMsg", "fail"},
      {"SystemAreaSizeStr", "System Area Size"},
  };
  std::vector<std::string> portLog;
  int pumps = 0;

  char slotDrive(int slot) const override { return drive[slot]; }
  void setStatus(int slot, const std::string& text, TextColour c) override {
    add("text " + std::to_string(slot) + " " + text + " " + colourName(c));
  }
  void setStatusColour(int slot, TextColour c) override {
    add("colour " + std::to_string(slot) + " " + colourName(c));
  }
  void setProgress(int slot, int position) override {
    add("bar " + std::to_string(slot) + " " + std::to_string(position));
  }
  void setProgressVisible(int slot, bool v) override {
    add("barvisible " + std::to_string(slot) + " " + (v ? "1" : "0"));
  }
  std::string portCell(int slot) const override { return port[slot]; }
  void setPortCell(int slot, const std::string& t) override {
    port[slot] = t;
    add("port " + std::to_string(slot) + " " + t);
  }
  void setFlashName(int slot, const std::string& t) override {
    add("spare " + std::to_string(slot) + " " + t);
  }
  void setSystemAreaSize(const std::string& t) override { add("area " + t); }
  void showMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    add("message " + text + " | " + caption + " | " + std::to_string(static_cast<int>(icon)));
  }
  void showPicture(int slot, StatusPicture p) override {
    add("picture " + std::to_string(slot) + (p == StatusPicture::Success ? " success" : " fail"));
  }
  void hidePicture(int slot) override { add("picture " + std::to_string(slot) + " hide"); }
  void runStarted() override { add("started"); }
  void runEnded(bool success) override { add(success ? "ended 1" : "ended 0"); }
  void resetRowIfReleased(int slot, char d) override {
    add("reset " + std::to_string(slot) + " " + std::string(1, d));
  }

  // The combo's move is part of the trace.
  void setSystemAreaIndex(int i) override {
    FakeRunSettings::setSystemAreaIndex(i);
    add("combo " + std::to_string(i));
  }
  // A text given by the test, else the entry's own name.
  std::string text(LangText id) const override {
    auto it = texts.find(langName(id));
    return it == texts.end() ? langName(id) : it->second;
  }
  void pump() override {
    std::lock_guard<std::mutex> lock(mu_);
    ++pumps;
  }
  void appendPortLog(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mu_);
    portLog.push_back(line);
  }

 private:
  void add(std::string e) {
    std::lock_guard<std::mutex> lock(mu_);
    events.push_back(std::move(e));
  }
  std::mutex mu_;
};

// Answers each run with the next scripted exit code (the last one repeats); records what
// was run and how it was waited for.
class FakeLauncher : public ToolLauncher {
 public:
  struct Run {
    platform::ChildCommand command;
    unsigned pollMs;
    bool pumps;
  };
  std::vector<Run> runs;
  std::deque<platform::ChildResult> answers;

  void answer(std::initializer_list<uint32_t> codes) {
    for (uint32_t c : codes) answers.push_back({platform::ChildOutcome::Ended, c});
  }
  void cannotStart() { answers.push_back({platform::ChildOutcome::NotStarted, 0}); }

  platform::ChildResult run(const platform::ChildCommand& command,
                            const platform::WaitPolicy& policy) override {
    runs.push_back({command, policy.pollMs, static_cast<bool>(policy.pump)});
    if (policy.pump) policy.pump();
    if (answers.empty()) return {platform::ChildOutcome::Ended, 0};
    platform::ChildResult r = answers.front();
    if (answers.size() > 1) answers.pop_front();
    return r;
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const auto& r : runs) out.push_back(r.command.windowsLine);
    return out;
  }
};

}  // namespace station::testing

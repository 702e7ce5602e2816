// A front end for the shell's tests: the recording front end's controls, a loop that runs
// the shell's timer and a per-tick script, the close a headless station or a window
// would make, and the trace and pictures asked of it.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "station/window/front_end_host.h"
#include "support/recording_front_end.h"

namespace station::testing {

// The recording front end with a window thread: work queued from the model's listener
// (which runs under the model's lock) waits for the loop.
class QueuedRecordingFrontEnd : public RecordingFrontEnd {
 public:
  void runOnWindowThread(std::function<void()> work, bool wait) override {
    if (wait) return work();
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back(std::move(work));
  }
  void runQueued() {
    for (;;) {
      std::function<void()> work;
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (queue_.empty()) return;
        work = std::move(queue_.front());
        queue_.pop_front();
      }
      work();
    }
  }

 private:
  std::mutex mu_;
  std::deque<std::function<void()>> queue_;
};

class ScriptedHost : public FrontEndHost {
 public:
  QueuedRecordingFrontEnd fe;
  std::function<void(int tick)> script;  // runs before each of the shell's ticks
  bool windowStaysOpen = false;          // a failed close: a window stays, headless ends
  bool pictureWritten = true;            // what screenshot() answers
  int maxTicks = 5000;                   // about five seconds
  std::vector<std::string> traced, pictures, events;

  FrontEnd& frontEnd() override { return fe; }
  void configure(BinderDeps&) override { events.push_back("configure"); }
  void bind(Binder&, std::function<bool()> closing) override {
    events.push_back("bind");
    closing_ = std::move(closing);
  }
  void made() override { events.push_back("made"); }
  void showWindow() override { events.push_back("show"); }
  void ready() override { events.push_back("ready"); }
  void runLoop() override {
    for (int tick = 0; tick < maxTicks; ++tick) {
      if (script) script(tick);
      fe.runQueued();
      if (fe.tick) fe.tick();
      fe.runQueued();
      if (closeAsked_) {
        closeAsked_ = false;
        events.push_back("close");
        if (closing_() || !windowStaysOpen) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    events.push_back("gave up");
  }
  void requestClose() override {
    events.push_back("close asked");
    closeAsked_ = true;
  }
  bool screenshot(const std::string& path) override {
    events.push_back("picture");
    pictures.push_back(path);
    return pictureWritten;
  }
  void trace(const std::string& line) override { traced.push_back(line); }
  void drain() override {
    fe.runQueued();
    events.push_back("drain");
  }

 private:
  std::function<bool()> closing_;
  bool closeAsked_ = false;
};

}  // namespace station::testing

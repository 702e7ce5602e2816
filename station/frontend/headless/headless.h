// The station without a window: the window description's controls kept as plain values by
// a front end of its own, through the same binder and shell as the windows'; each change
// is printed as a line from them, modal messages are printed and answered with OK, and the
// operator's commands come on standard input. The shell ends it as it ends a window (run
// and time limits, signals); `quit` closes it as the close button would.
#pragma once

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <chrono>
#include <memory>
#include <thread>

#include "station/model/station_model.h"
#include "station/window/binder.h"
#include "station/window/front_end_host.h"

namespace station {

// The controls as values. Work for the window thread waits in a queue that the headless
// loop runs; messages are printed at once on the asking thread.
class HeadlessFrontEnd : public FrontEnd {
 public:
  struct Control {
    const ElementDesc* desc = nullptr;
    std::string text, toolTip, picture;
    TextColour colour = TextColour::WindowText;
    bool enabled = true, visible = true, checked = false;
    int value = 0;
    std::vector<std::string> items;
    std::vector<int> selection;
  };

  explicit HeadlessFrontEnd(std::function<void(const std::string&)> print,
                            std::function<void()> wake = {});

  // The control's values (a default one for an unknown name).
  Control control(const std::string& name) const;
  // Whether the operator could use the control: it and every parent enabled, it visible.
  bool usable(const std::string& name) const;
  // Runs the queued window-thread work; false when there was none.
  bool runQueued();
  // Runs the timers that are due; the time until the next one is (at most `idle`).
  std::chrono::milliseconds runTimers(std::chrono::milliseconds idle);
  // The files the next file chooser answers with.
  void answerFileChooser(std::vector<std::string> files);
  bool closeRequested() const { return closeRequested_; }

  void createControl(const ElementDesc& element) override;
  void setText(const std::string& name, const std::string& text) override;
  void setToolTip(const std::string& name, const std::string& text) override;
  void setColour(const std::string& name, TextColour colour) override;
  void setEnabled(const std::string& name, bool enabled) override;
  void setVisible(const std::string& name, bool visible) override;
  void setChecked(const std::string& name, bool checked) override;
  void setValue(const std::string& name, int value) override;
  void setItems(const std::string& name, const std::vector<std::string>& items,
                const std::vector<int>& selection) override;
  void setPicture(const std::string& name, const PictureRef& picture) override;
  void runOnWindowThread(std::function<void()> work, bool wait) override;
  void setTimer(const std::string& window, int intervalMs, std::function<void()> tick) override;
  void messageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  std::optional<std::vector<std::string>> chooseFiles(const std::string& title) override;
  std::optional<std::string> chooseFolder() override { return std::nullopt; }
  std::optional<std::string> choosePackage(const std::string&) override { return std::nullopt; }
  void closeWindow(const std::string&) override { closeRequested_ = true; }

 private:
  template <class F> void with(const std::string& name, F&& f);

  std::function<void(const std::string&)> print_;
  std::function<void()> wake_;
  mutable std::mutex mu_;
  std::map<std::string, Control> controls_;
  std::deque<std::function<void()>> queue_;
  struct Timer {
    std::chrono::milliseconds interval;
    std::chrono::steady_clock::time_point due;
    std::function<void()> tick;
  };
  std::map<std::string, Timer> timers_;
  std::vector<std::string> files_;
  bool filesGiven_ = false;
  bool closeRequested_ = false;
};

// The trace line of a change, read from the controls it changed; "" for changes the
// trace leaves out.
std::string headlessLine(const HeadlessFrontEnd& frontEnd, const Change& change);

// One operator command on the window thread, answered by one line ("ok: ..." or
// "error: ..."); a command that fails changes nothing. `quit` sets `quit`.
std::string runHeadlessCommand(StationModel& model, Binder& binder, HeadlessFrontEnd& frontEnd,
                               const std::string& line, bool& quit);

// The next command line on standard input; false at its end.
bool readCommand(std::string& line);

struct HeadlessOptions {
  std::FILE* out = stdout;
  // The operator's commands, one line each; blocks for the next, false at the end of the
  // input. Empty: no commands.
  std::function<bool(std::string& line)> commands;
  // Told every printed line too (tests follow the trace with it).
  std::function<void(const std::string& line)> echo;
};

// The headless loop for the shell: window-thread work, the shell's timer and the
// commands, until a close is asked (`quit`, the shell's limits).
class HeadlessHost : public FrontEndHost {
 public:
  explicit HeadlessHost(HeadlessOptions options = {});
  ~HeadlessHost() override;

  HeadlessFrontEnd& controls() { return *fe_; }
  FrontEnd& frontEnd() override { return *fe_; }
  void configure(BinderDeps&) override {}
  void bind(Binder& binder, std::function<bool()> closing) override {
    binder_ = &binder;
    closing_ = std::move(closing);
  }
  void made() override;
  void showWindow() override {}
  void ready() override;
  void runLoop() override;
  void requestClose() override;
  // Nothing to take a picture of (the command line refuses --screenshot).
  bool screenshot(const std::string&) override { return false; }
  void trace(const std::string& line) override;
  void drain() override { fe_->runQueued(); }

 private:
  struct Loop;
  void print(const std::string& line);

  HeadlessOptions o_;
  std::shared_ptr<Loop> loop_;  // shared with the command reader, which may outlive us
  std::unique_ptr<HeadlessFrontEnd> fe_;
  Binder* binder_ = nullptr;
  std::function<bool()> closing_;
  std::mutex printing_;
  std::thread::id loopThread_;
};

}  // namespace station

// The station without a window: the same model, start-up and close orders, driven by the
// volume notifications and by the operator's commands on standard input. The window
// description's controls are kept as plain values by a front end of its own, through the
// same binder as the window's; each change is printed as a line from them, modal messages
// are printed and answered with OK. It stops once enough runs have been tallied, on
// `quit`, on a signal or at its time limit.
#pragma once

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/volume_events.h"
#include "station/model/device_arrival.h"
#include "station/model/startup.h"
#include "station/model/station_model.h"
#include "station/window/binder.h"

namespace station {

enum HeadlessExit {
  kHeadlessAllSucceeded = 0,
  kHeadlessRunFailed = 1,     // a tallied run failed
  kHeadlessUsage = 2,         // bad command line
  kHeadlessTimedOut = 3,      // the time limit came first
  kHeadlessOtherStation = 4,  // another station holds the lock
  kHeadlessCloseFailed = 5,   // the settings or the copy list could not be saved
};

// Flushes the output and ends the process at once (running workers are not waited for).
[[noreturn]] void exitProcess(int code);

struct HeadlessOptions {
  int runs = 0;            // stop once this many runs are tallied; 0: only when told
  int timeoutSeconds = 0;  // 0: no limit
  unsigned pollMs = 50;    // how often the notifications are looked at
  std::FILE* out = stdout;
  const std::atomic<bool>* stop = nullptr;  // set by a signal: close as the window would
  // The operator's commands, one line each; blocks for the next, false at the end of the
  // input. Empty: no commands.
  std::function<bool(std::string& line)> commands;
  // Told every printed line too (tests follow the trace with it).
  std::function<void(const std::string& line)> echo;
  // Ends the process when the time limit or a stop request finds the station held up.
  std::function<void(int)> exitNow = exitProcess;
};

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
  // The headless station has no preview window, the only user of timers.
  void setTimer(const std::string&, int, std::function<void()>) override {}
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

// FormShow, the notifications and commands until the end, FormClose. The model must
// already have passed FormCreate. Returns the exit code.
int runHeadless(StationModel& model, platform::VolumeEvents& events, ArrivalContext& context,
                const HeadlessOptions& options, const StartupHooks& hooks = {});

}  // namespace station

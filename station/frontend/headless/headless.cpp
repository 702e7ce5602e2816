#include "station/frontend/headless/headless.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <variant>

#include "base/overloaded.h"
#include "station/model/production_check.h"

namespace station {

// --- the controls as values ---

HeadlessFrontEnd::HeadlessFrontEnd(std::function<void(const std::string&)> print, std::function<void()> wake)
    : print_(std::move(print)), wake_(std::move(wake)) {}

template <class F>
void HeadlessFrontEnd::with(const std::string& name, F&& f) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = controls_.find(name);
  if (it != controls_.end()) f(it->second);
}

HeadlessFrontEnd::Control HeadlessFrontEnd::control(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = controls_.find(name);
  return it == controls_.end() ? Control{} : it->second;
}

bool HeadlessFrontEnd::usable(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = controls_.find(name);
  if (it == controls_.end() || !it->second.visible) return false;
  for (; it != controls_.end(); it = controls_.find(it->second.desc->parent))
    if (!it->second.enabled) return false;
  return true;
}

bool HeadlessFrontEnd::runQueued() {
  bool any = false;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (queue_.empty()) return any;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
    any = true;
  }
}

void HeadlessFrontEnd::answerFileChooser(std::vector<std::string> files) {
  std::lock_guard<std::mutex> lock(mu_);
  files_ = std::move(files);
  filesGiven_ = true;
}

void HeadlessFrontEnd::createControl(const ElementDesc& e) {
  Control c;
  c.desc = &e;
  c.enabled = e.enabled;
  c.visible = e.visible;
  if (e.colour) c.colour = *e.colour;
  c.items = e.items;
  std::lock_guard<std::mutex> lock(mu_);
  controls_[e.name] = std::move(c);
}

void HeadlessFrontEnd::setText(const std::string& n, const std::string& t) { with(n, [&](Control& c) { c.text = t; }); }
void HeadlessFrontEnd::setToolTip(const std::string& n, const std::string& t) { with(n, [&](Control& c) { c.toolTip = t; }); }
void HeadlessFrontEnd::setColour(const std::string& n, TextColour v) { with(n, [&](Control& c) { c.colour = v; }); }
void HeadlessFrontEnd::setEnabled(const std::string& n, bool v) { with(n, [&](Control& c) { c.enabled = v; }); }
void HeadlessFrontEnd::setVisible(const std::string& n, bool v) { with(n, [&](Control& c) { c.visible = v; }); }
void HeadlessFrontEnd::setChecked(const std::string& n, bool v) { with(n, [&](Control& c) { c.checked = v; }); }
void HeadlessFrontEnd::setValue(const std::string& n, int v) { with(n, [&](Control& c) { c.value = v; }); }

void HeadlessFrontEnd::setItems(const std::string& n, const std::vector<std::string>& items,
                                const std::vector<int>& selection) {
  with(n, [&](Control& c) {
    c.items = items;
    c.selection = selection;
  });
}

void HeadlessFrontEnd::setPicture(const std::string& n, const PictureRef& picture) {
  with(n, [&](Control& c) { c.picture = picture.image ? "<picture>" : picture.file; });
}

void HeadlessFrontEnd::runOnWindowThread(std::function<void()> work, bool wait) {
  if (wait) {
    work();  // only messages wait, and printing one needs nothing of the loop
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back(std::move(work));
  }
  if (wake_) wake_();
}

void HeadlessFrontEnd::messageBox(const std::string& text, const std::string& caption, MessageIcon) {
  print_("message: " + caption + ": " + text);
}

std::optional<std::vector<std::string>> HeadlessFrontEnd::chooseFiles(const std::string&) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!filesGiven_) return std::nullopt;  // as a cancelled dialog
  filesGiven_ = false;
  return std::move(files_);
}

// --- the trace ---

namespace {

std::string quoted(const std::string& text) { return '"' + text + '"'; }

std::string flag(bool value) { return value ? "1" : "0"; }

}  // namespace

std::string headlessLine(const HeadlessFrontEnd& fe, const Change& change) {
  auto text = [&](const std::string& name) { return fe.control(name).text; };
  return std::visit(
      tarn::Overloaded{
          [&](const RowChanged& c) {
            const int r = c.row;
            const auto status = fe.control(rowCellName(RowCell::Status, r));
            const auto bar = fe.control(rowCellName(RowCell::Bar, r));
            const auto image = fe.control(rowCellName(RowCell::Picture, r));
            std::string picture = "-";
            if (image.visible && !image.picture.empty())
              picture = image.picture.find("success.bmp") != std::string::npos ? "success" : "fail";
            return "row " + std::to_string(r + 1) + ": " + quoted(status.text) + " " + colourName(status.colour) +
                   " " + std::to_string(bar.value) + " bar=" + (bar.visible ? "shown" : "hidden") +
                   " picture=" + picture + " port=" + quoted(text(rowCellName(RowCell::Port, r))) +
                   " spare=" + quoted(text(rowCellName(RowCell::Spare, r)));
          },
          [&](const CountersChanged& c) {
            // The window shows the tally; the running and occupied counts only the trace.
            return "counters: total=" + text(elementShowing(Shows::Total)) +
                   " success=" + text(elementShowing(Shows::Success)) +
                   " fail=" + text(elementShowing(Shows::Fail)) + " running=" + std::to_string(c.counters.running) +
                   " occupied=" + std::to_string(c.counters.occupied);
          },
          [&](const EnabledChanged& c) {
            const std::string name = enabledElementName(c.element);
            return "enabled: " + name + "=" + flag(fe.control(name).enabled);
          },
          [&](const CheckedChanged& c) {
            const std::string name = checkName(c.check);
            return "checked: " + name + "=" + flag(fe.control(name).checked);
          },
          // These lines are headed by the element's name.
          [&](const ComboIndexChanged&) {
            const std::string& combo = elementShowing(Shows::SystemAreaIndex);
            return combo + ": " + std::to_string(fe.control(combo).value);
          },
          [&](const LabelChanged&) {
            const std::string& label = elementShowing(Shows::VolumeLabel);
            return label + ": " + quoted(text(label));
          },
          [&](const CopyListChanged&) {
            return "copy list: " + std::to_string(fe.control(elementShowing(Shows::CopyList)).items.size()) + " items";
          },
          [&](const SystemAreaTextChanged&) {
            const std::string& area = elementShowing(Shows::SystemAreaText);
            return area + ": " + quoted(text(area));
          },
          [&](const CaptionChanged&) { return "caption: " + quoted(text(mainWindowDesc().window().name)); },
          [](const auto&) { return std::string(); },
      },
      change);
}

// --- the operator's commands ---

namespace {

bool parseIndex(const std::string& word, int& out) {
  if (word.empty() || word.size() > 6 || word.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::stoi(word);
  return true;
}

std::string trimmed(std::string s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  s.erase(0, first);
  s.erase(s.find_last_not_of(" \t\r\n") + 1);
  return s;
}

int startedRuns(const StationModel& model) {
  int n = 0;
  for (int slot = 0; slot < DEVICE_COUNT; ++slot) n += model.rows().runMarked(slot) ? 1 : 0;
  return n;
}

}  // namespace

std::string runHeadlessCommand(StationModel& model, Binder& binder, HeadlessFrontEnd& fe, const std::string& line,
                               bool& quit) {
  const std::string command = trimmed(line);
  std::istringstream in(command);
  std::string word;
  in >> word;
  std::string rest;
  std::getline(in, rest);
  rest = trimmed(rest);
  std::vector<std::string> args;
  std::istringstream split(rest);
  for (std::string arg; split >> arg;) args.push_back(arg);

  const std::string ok = "ok: " + command;
  auto unusable = [&](const std::string& name) { return "error: " + name + " cannot be used now"; };
  auto kindOf = [](const std::string& name, ControlKind kind) {
    const ElementDesc* e = mainWindowDesc().find(name);
    return e && e->kind == kind;
  };

  if (command.empty()) return "error: empty command";
  if (word == "add") {
    if (rest.empty()) return "error: usage: add FILE";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(rest, ec)) return "error: no such file: " + rest;
    const std::string& add = elementCalling(Handler::AddFiles);
    if (!fe.usable(add)) return unusable(add);
    // The file dialog gives full paths.
    fe.answerFileChooser({std::filesystem::absolute(rest, ec).string()});
    binder.clicked(add);
    return ok;
  }
  if (word == "remove") {
    int index = 0;
    if (args.size() != 1 || !parseIndex(args[0], index)) return "error: usage: remove INDEX";
    if (index >= static_cast<int>(model.files().copyList().size())) return "error: no item " + args[0];
    const std::string& remove = elementCalling(Handler::RemoveFiles);
    if (!fe.usable(remove)) return unusable(remove);
    binder.selected(elementCalling(Handler::SelectCopyItems), {index});
    binder.clicked(remove);
    return ok;
  }
  if (word == "check") {
    if (args.size() != 2 || (args[1] != "0" && args[1] != "1")) return "error: usage: check NAME 0|1";
    if (!kindOf(args[0], ControlKind::CheckBox)) return "error: no check box " + args[0];
    if (!fe.usable(args[0])) return unusable(args[0]);
    const bool want = args[1] == "1";
    if (fe.control(args[0]).checked != want) binder.toggled(args[0], want);
    return ok;
  }
  if (word == "label") {
    if (rest.empty()) return "error: usage: label TEXT";
    if (auto why = labelProblem(rest, false)) return "error: " + *why;
    const std::string& label = elementCalling(Handler::EditLabel);
    if (!fe.usable(label)) return unusable(label);
    binder.edited(label, rest);
    return ok;
  }
  if (word == "combo") {
    int index = 0;
    if (args.size() != 2 || !parseIndex(args[1], index)) return "error: usage: combo NAME INDEX";
    if (!kindOf(args[0], ControlKind::ComboBox)) return "error: no combo box " + args[0];
    if (index >= static_cast<int>(fe.control(args[0]).items.size())) return "error: no item " + args[1];
    if (!fe.usable(args[0])) return unusable(args[0]);
    binder.chosen(args[0], index);
    return ok;
  }
  if (word == "start") {
    if (!args.empty()) return "error: usage: start";
    const std::string& upgrade = elementCalling(Handler::StartUpgrade);
    if (!fe.usable(upgrade)) return unusable(upgrade);
    const int before = startedRuns(model);
    binder.clicked(upgrade);
    return ok + " (" + std::to_string(startedRuns(model) - before) + " runs)";
  }
  if (word == "quit") {
    if (!args.empty()) return "error: usage: quit";
    quit = true;
    return ok;
  }
  return "error: unknown command: " + word;
}

// --- the loop ---

namespace {

// Shared with the command reader, which may outlive the loop (blocked on its input).
struct LoopState {
  std::mutex mu;
  std::condition_variable wake;
  bool pending = false;
  std::deque<std::string> commands;
};

void notify(LoopState& state) {
  std::lock_guard<std::mutex> lock(state.mu);
  state.pending = true;
  state.wake.notify_all();
}

}  // namespace

namespace {

// The time limit and a stop request end the station at any point. The loop below notices
// them itself; when it is held up (start-up reading a file, an arrival waiting for a device
// tool run), the watchdog closes the station in its place after a grace period.
class Watchdog {
 public:
  enum Phase { Starting, Running, Closing };

  Watchdog(StationModel& model, const HeadlessOptions& o, std::chrono::steady_clock::time_point deadline)
      : model_(model), o_(o), deadline_(deadline), thread_([this] { watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // The exit code of a close the watchdog made (its exit returned: only in tests).
  int finish() {
    thread_.join();
    return code_;
  }

  void started() {
    int p = Starting;
    phase_.compare_exchange_strong(p, Running);
  }
  // True when the caller is the one to close; false when the watchdog already is.
  bool takeClose() {
    int p = phase_.load();
    while (p != Closing)
      if (phase_.compare_exchange_weak(p, Closing)) return true;
    return false;
  }

 private:
  static constexpr auto kGrace = std::chrono::seconds(2);

  bool due() const {
    return (o_.stop && o_.stop->load()) ||
           (o_.timeoutSeconds > 0 && std::chrono::steady_clock::now() >= deadline_);
  }

  void watch() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!done_ && !due()) wake_.wait_for(lock, std::chrono::milliseconds(50));
    if (done_ || wake_.wait_for(lock, kGrace, [this] { return done_; })) return;
    lock.unlock();
    bool timedOut = !(o_.stop && o_.stop->load());
    int p = phase_.load();
    // Still starting: nothing was loaded, so the files stay exactly as they are.
    if (p == Starting && phase_.compare_exchange_strong(p, Closing)) {
      std::fprintf(o_.out, "%s during start-up; nothing saved\n", timedOut ? "timeout" : "stopped");
      std::fflush(o_.out);
      code_ = timedOut ? kHeadlessTimedOut : kHeadlessAllSucceeded;
      o_.exitNow(code_);
      return;
    }
    if (!takeClose()) return;
    Counters c = model_.rows().counters();
    if (timedOut) std::fprintf(o_.out, "timeout: %d of %d runs tallied\n", c.total, o_.runs);
    code_ = !FormClose(model_)     ? kHeadlessCloseFailed
            : timedOut             ? kHeadlessTimedOut
            : c.success == c.total ? kHeadlessAllSucceeded
                                   : kHeadlessRunFailed;
    o_.exitNow(code_);
  }

  StationModel& model_;
  const HeadlessOptions& o_;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<int> phase_{Starting};
  std::mutex mu_;
  std::condition_variable wake_;
  bool done_ = false;
  int code_ = kHeadlessTimedOut;
  std::thread thread_;
};

}  // namespace

void exitProcess(int code) {
  // Only the output streams: flushing every stream takes standard input's lock, which the
  // command reader holds for as long as it waits for a line that may never come.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

int runHeadless(StationModel& model, platform::VolumeEvents& events, ArrivalContext& context,
                const HeadlessOptions& options, const StartupHooks& hooks) {
  auto state = std::make_shared<LoopState>();
  std::mutex printing;
  auto print = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(printing);
    std::fprintf(options.out, "%s\n", line.c_str());
    std::fflush(options.out);
    if (options.echo) options.echo(line);
  };

  HeadlessFrontEnd fe(print, [state] { notify(*state); });
  BinderDeps deps;
  deps.hooks = hooks;
  Binder binder(model, fe, std::move(deps));
  binder.create(mainWindowDesc());
  binder.renderAll();
  binder.setAppliedListener([&](const Change& c) {
    std::string line = headlessLine(fe, c);
    if (!line.empty()) print(line);
  });
  model.setWindowThread(std::this_thread::get_id());
  binder.attach();

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(options.timeoutSeconds);
  Watchdog watchdog(model, options, deadline);
  binder.shown();
  fe.runQueued();
  watchdog.started();
  print("ready");

  if (options.commands) {
    std::thread([state, read = options.commands] {
      std::string line;
      while (read(line)) {
        {
          std::lock_guard<std::mutex> lock(state->mu);
          state->commands.push_back(line);
        }
        notify(*state);
      }
    }).detach();
  }

  bool timedOut = false;
  bool quit = false;
  while (!quit) {
    for (const platform::VolumeNotice& notice : events.poll()) {
      fe.runQueued();
      static const char* const kChange[] = {"arrival ", "removal ", "refused ", "refused-gone "};
      print(std::string("volume: ") + kChange[static_cast<int>(notice.change)] + notice.letters +
            notice.device);
      handleVolumeNotice(model, context, notice);
    }
    fe.runQueued();
    for (;;) {
      std::string line;
      {
        std::lock_guard<std::mutex> lock(state->mu);
        if (state->commands.empty()) break;
        line = std::move(state->commands.front());
        state->commands.pop_front();
      }
      std::string answer = runHeadlessCommand(model, binder, fe, line, quit);
      fe.runQueued();
      print(answer);
      if (quit) break;
    }
    if (quit) break;
    Counters c = model.rows().counters();
    if (options.runs > 0 && c.total >= options.runs) break;
    if (options.stop && options.stop->load()) break;
    if (options.timeoutSeconds > 0 && Clock::now() >= deadline) {
      timedOut = true;
      print("timeout: " + std::to_string(c.total) + " of " + std::to_string(options.runs) + " runs tallied");
      break;
    }
    std::unique_lock<std::mutex> lock(state->mu);
    state->wake.wait_for(lock, std::chrono::milliseconds(options.pollMs), [&] { return state->pending; });
    state->pending = false;
  }

  if (!watchdog.takeClose()) {
    binder.detach();
    fe.runQueued();
    return watchdog.finish();  // it closed in our place and ends the process
  }
  bool closed = binder.closing();
  fe.runQueued();
  binder.detach();
  fe.runQueued();
  if (!closed) return kHeadlessCloseFailed;
  if (timedOut) return kHeadlessTimedOut;
  Counters c = model.rows().counters();
  return c.success == c.total ? kHeadlessAllSucceeded : kHeadlessRunFailed;
}

}  // namespace station

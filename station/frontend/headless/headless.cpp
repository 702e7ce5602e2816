#include "station/frontend/headless/headless.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <variant>

#include "base/overloaded.h"
#include "platform/process.h"
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

std::chrono::milliseconds HeadlessFrontEnd::runTimers(std::chrono::milliseconds idle) {
  using Clock = std::chrono::steady_clock;
  std::vector<std::function<void()>> due;
  {
    std::lock_guard<std::mutex> lock(mu_);
    const auto now = Clock::now();
    for (auto& [name, t] : timers_) {
      if (now < t.due) continue;
      t.due = now + t.interval;
      due.push_back(t.tick);
    }
  }
  for (auto& tick : due) tick();
  std::lock_guard<std::mutex> lock(mu_);
  const auto now = Clock::now();
  for (const auto& [name, t] : timers_)
    idle = std::min(idle, std::chrono::duration_cast<std::chrono::milliseconds>(t.due - now));
  return std::max(idle, std::chrono::milliseconds(0));
}

void HeadlessFrontEnd::setTimer(const std::string& window, int intervalMs, std::function<void()> tick) {
  std::lock_guard<std::mutex> lock(mu_);
  if (intervalMs <= 0 || !tick) {
    timers_.erase(window);
    return;
  }
  const std::chrono::milliseconds interval(intervalMs);
  timers_[window] = Timer{interval, std::chrono::steady_clock::now() + interval, std::move(tick)};
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

bool readCommand(std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); }

// Shared with the command reader, which may outlive the loop (blocked on its input).
struct HeadlessHost::Loop {
  std::mutex mu;
  std::condition_variable wake;
  bool pending = false;
  bool closeAsked = false;
  std::deque<std::string> commands;

  void notify() {
    std::lock_guard<std::mutex> lock(mu);
    pending = true;
    wake.notify_all();
  }
};

HeadlessHost::HeadlessHost(HeadlessOptions options) : o_(std::move(options)), loop_(std::make_shared<Loop>()) {
  fe_ = std::make_unique<HeadlessFrontEnd>([this](const std::string& line) { print(line); },
                                           [loop = loop_] { loop->notify(); });
}

HeadlessHost::~HeadlessHost() = default;

void HeadlessHost::print(const std::string& line) {
  std::lock_guard<std::mutex> lock(printing_);
  std::fprintf(o_.out, "%s\n", line.c_str());
  std::fflush(o_.out);
  if (o_.echo) o_.echo(line);
}

void HeadlessHost::trace(const std::string& line) {
  // Changes queued before the line was said are printed before it.
  if (std::this_thread::get_id() == loopThread_) fe_->runQueued();
  print(line);
}

void HeadlessHost::made() {
  loopThread_ = std::this_thread::get_id();  // the shell runs the loop on the thread that made it
  binder_->setAppliedListener([this](const Change& c) {
    std::string line = headlessLine(*fe_, c);
    if (!line.empty()) print(line);
  });
}

void HeadlessHost::ready() {
  fe_->runQueued();
  print("ready");
  if (!o_.commands) return;
  std::thread([loop = loop_, read = o_.commands] {
    platform::keepStopSignalsAway();  // it may wait for a line for good
    std::string line;
    while (read(line)) {
      {
        std::lock_guard<std::mutex> lock(loop->mu);
        loop->commands.push_back(line);
      }
      loop->notify();
    }
  }).detach();
}

void HeadlessHost::requestClose() {
  {
    std::lock_guard<std::mutex> lock(loop_->mu);
    loop_->closeAsked = true;
  }
  loop_->notify();
}

void HeadlessHost::runLoop() {
  bool quit = false;
  for (;;) {
    fe_->runQueued();
    const auto idle = fe_->runTimers(std::chrono::milliseconds(50));
    fe_->runQueued();
    for (;;) {
      std::string line;
      {
        std::lock_guard<std::mutex> lock(loop_->mu);
        if (loop_->commands.empty()) break;
        line = std::move(loop_->commands.front());
        loop_->commands.pop_front();
      }
      std::string answer = runHeadlessCommand(binder_->model(), *binder_, *fe_, line, quit);
      fe_->runQueued();
      print(answer);
      if (quit) break;
    }
    std::unique_lock<std::mutex> lock(loop_->mu);
    if (quit || loop_->closeAsked) break;
    loop_->wake.wait_for(lock, idle, [&] { return loop_->pending || loop_->closeAsked; });
    loop_->pending = false;
  }
  // The station ends whether or not its files could be saved (the exit code says so).
  closing_();
  fe_->runQueued();
}

}  // namespace station

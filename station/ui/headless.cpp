#include "station/ui/headless.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace station {

namespace {

std::string quoted(const StationModel& model, const std::string& bytes) {
  std::string out(1, '"');
  out += model.display(bytes);
  out += '"';
  return out;
}

}  // namespace

std::string headlessLine(const StationModel& model, const Change& c) {
  switch (c.kind) {
    case ChangeKind::Row: {
      const RowState& r = c.rowState;
      std::string picture = !r.pictureVisible || !r.picture ? "-"
                            : *r.picture == StatusPicture::Success ? "success" : "fail";
      return "row " + std::to_string(c.row + 1) + ": " + quoted(model, r.text) + " " +
             colourName(r.colour) + " " + std::to_string(r.progress) +
             " bar=" + (r.progressVisible ? "shown" : "hidden") + " picture=" + picture +
             " port=" + quoted(model, r.port) + " spare=" + quoted(model, r.spare);
    }
    case ChangeKind::Counters:
      return "counters: total=" + std::to_string(c.counters.total) +
             " success=" + std::to_string(c.counters.success) +
             " fail=" + std::to_string(c.counters.fail) +
             " running=" + std::to_string(c.counters.running) +
             " occupied=" + std::to_string(c.counters.occupied);
    case ChangeKind::Enabled:
      return std::string("enabled: ") + elementName(c.element) + "=" + (c.flag ? "1" : "0");
    case ChangeKind::Checked:
      return std::string("checked: ") + checkName(c.check) + "=" + (c.flag ? "1" : "0");
    case ChangeKind::ComboIndex:
      return "SystemAreaComBo: " + std::to_string(c.number);
    case ChangeKind::Label:
      return "LabelEdit: " + quoted(model, c.text);
    case ChangeKind::CopyList:
      return "copy list: " + std::to_string(c.items.size()) + " items";
    case ChangeKind::SystemAreaText:
      return "labSystemArea: " + quoted(model, c.text);
    case ChangeKind::Caption:
      return "caption: " + quoted(model, c.text);
    case ChangeKind::Message:
      return "message: " + model.display(c.message.caption) + ": " + model.display(c.message.text);
    default:
      return {};
  }
}

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
    Counters c = model_.counters();
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
  std::fflush(nullptr);
  std::_Exit(code);
}

int runHeadless(StationModel& model, platform::VolumeEvents& events, ArrivalContext& context,
                const HeadlessOptions& options, const StartupHooks& hooks) {
  std::mutex mu;
  std::condition_variable counted;
  int listener = model.addListener([&](const Change& c) {
    std::string line = headlessLine(model, c);
    if (!line.empty()) {
      std::fprintf(options.out, "%s\n", line.c_str());
      std::fflush(options.out);
    }
    if (c.kind == ChangeKind::Counters) {
      std::lock_guard<std::mutex> lock(mu);
      counted.notify_all();
    }
  });
  model.setMessageHandler(nullptr);  // printed with the change; answered OK at once

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(options.timeoutSeconds);
  Watchdog watchdog(model, options, deadline);
  FormShow(model, hooks);
  watchdog.started();
  std::fprintf(options.out, "ready\n");
  std::fflush(options.out);

  bool timedOut = false;
  for (;;) {
    for (const platform::VolumeNotice& notice : events.poll()) {
      static const char* const kChange[] = {"arrival", "removal", "refused", "refused-gone"};
      std::fprintf(options.out, "volume: %s %s%s\n", kChange[static_cast<int>(notice.change)],
                   notice.letters.c_str(), notice.device.c_str());
      std::fflush(options.out);
      handleVolumeNotice(model, context, notice);
    }
    Counters c = model.counters();
    if (options.runs > 0 && c.total >= options.runs) break;
    if (options.stop && options.stop->load()) break;
    if (options.timeoutSeconds > 0 && Clock::now() >= deadline) {
      timedOut = true;
      std::fprintf(options.out, "timeout: %d of %d runs tallied\n", c.total, options.runs);
      break;
    }
    std::unique_lock<std::mutex> lock(mu);
    counted.wait_for(lock, std::chrono::milliseconds(options.pollMs));
  }

  if (!watchdog.takeClose()) {
    model.removeListener(listener);
    return watchdog.finish();  // it closed in our place and ends the process
  }
  bool closed = FormClose(model, hooks);
  model.removeListener(listener);
  if (!closed) return kHeadlessCloseFailed;
  if (timedOut) return kHeadlessTimedOut;
  Counters c = model.counters();
  return c.success == c.total ? kHeadlessAllSucceeded : kHeadlessRunFailed;
}

}  // namespace station

#include "station/program/shell.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace station {

namespace {

const std::string& mainName() { return mainWindowDesc().window().name; }

std::string tallyLine(const Counters& c, int runs) {
  return "timeout: " + std::to_string(c.total) + " of " + std::to_string(runs) + " runs tallied";
}

int tallyExit(const Counters& c) { return c.success == c.total ? kExitAllSucceeded : kExitRunFailed; }

}  // namespace

void exitProcess(int code) {
  // Only the output streams: flushing every stream takes standard input's lock, which a
  // command reader holds for as long as it waits for a line that may never come.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

std::string noticeLine(const platform::VolumeNotice& notice) {
  static const char* const kChange[] = {"arrival ", "removal ", "refused ", "refused-gone "};
  return std::string("volume: ") + kChange[static_cast<int>(notice.change)] + notice.letters + notice.device;
}

// The time limit and a stop request end the station at any point. The window thread
// notices them itself; when it is held up (start-up reading a file, an arrival waiting for
// a device-tool run), the watchdog closes the station in its place after a grace period.
class StationShell::Watchdog {
 public:
  enum Phase { Starting, Running, Closing };

  Watchdog(StationModel& model, FrontEndHost& host, const ShellOptions& o,
           std::chrono::steady_clock::time_point deadline)
      : model_(model), host_(host), o_(o), deadline_(deadline), thread_([this] { watch(); }) {}
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
  // A close that failed leaves the window open: the watchdog may close it later.
  void reopen() { phase_ = Running; }

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
    const bool timedOut = !(o_.stop && o_.stop->load());
    int p = phase_.load();
    // Still starting: nothing was loaded, so the files stay exactly as they are.
    if (p == Starting && phase_.compare_exchange_strong(p, Closing)) {
      host_.trace(std::string(timedOut ? "timeout" : "stopped") + " during start-up; nothing saved");
      code_ = timedOut ? kExitTimedOut : kExitAllSucceeded;
      o_.exitNow(code_);
      return;
    }
    if (!takeClose()) return;
    const Counters c = model_.rows().counters();
    if (timedOut) host_.trace(tallyLine(c, o_.runs));
    code_ = !FormClose(model_) ? kExitCloseFailed : timedOut ? kExitTimedOut : tallyExit(c);
    o_.exitNow(code_);
  }

  StationModel& model_;
  FrontEndHost& host_;
  const ShellOptions& o_;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<int> phase_{Starting};
  std::mutex mu_;
  std::condition_variable wake_;
  bool done_ = false;
  int code_ = kExitTimedOut;
  std::thread thread_;
};

StationShell::StationShell(StationModel& model, FrontEndHost& host, platform::VolumeEvents* events,
                           ArrivalContext* arrival, ShellOptions options)
    : model_(model), host_(host), events_(events), arrival_(arrival), o_(std::move(options)) {
  BinderDeps deps;
  deps.hooks = o_.hooks;
  host_.configure(deps);
  binder_ = std::make_unique<Binder>(model_, host_.frontEnd(), std::move(deps));
  host_.bind(*binder_, [this] { return close(); });
  binder_->create(mainWindowDesc());
  binder_->renderAll();
  host_.made();
  model_.setWindowThread(std::this_thread::get_id());
  model_.setPumpHook(host_.pump());
  binder_->attach();
  attached_ = true;
}

StationShell::~StationShell() {
  watchdog_.reset();
  detach();
}

void StationShell::detach() {
  if (!attached_) return;
  attached_ = false;
  host_.frontEnd().setTimer(mainName(), 0, {});
  binder_->detach();
  model_.setPumpHook(nullptr);
}

void StationShell::show() {
  if (shown_) return;
  shown_ = true;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(o_.timeoutSeconds);
  if (o_.timeoutSeconds > 0 || o_.stop) watchdog_ = std::make_unique<Watchdog>(model_, host_, o_, deadline_);
  host_.showWindow();
  binder_->shown();
  host_.ready();
  if (watchdog_) watchdog_->started();
  host_.frontEnd().setTimer(mainName(), static_cast<int>(o_.pollMs), [this] { tick(); });
}

void StationShell::tick() {
  if (events_ && arrival_) {
    binder_->guarded([&] {
      for (const platform::VolumeNotice& notice : events_->poll()) {
        host_.trace(noticeLine(notice));
        handleVolumeNotice(model_, *arrival_, notice);
      }
    });
  }
  if (finishing_) return;
  const Counters c = model_.rows().counters();
  if (o_.runs > 0 && c.total >= o_.runs) {
    finish(true);
  } else if (o_.stop && o_.stop->load()) {
    finish(false);
  } else if (o_.timeoutSeconds > 0 && std::chrono::steady_clock::now() >= deadline_) {
    timedOut_ = true;
    host_.trace(tallyLine(c, o_.runs));
    finish(false);
  }
}

void StationShell::finish(bool tallied) {
  finishing_ = true;
  // Queued behind the rows' last changes, so the picture shows them; the close is asked
  // only after it, as taking a picture may let the window's messages run.
  const bool picture = tallied && !o_.screenshot.empty();
  host_.frontEnd().runOnWindowThread(
      [this, picture] {
        if (picture) pictureFailed_ = !host_.screenshot(o_.screenshot);
        host_.requestClose();
      },
      false);
}

bool StationShell::close() {
  if (closed_ || tookOver_) return true;
  if (watchdog_ && !watchdog_->takeClose()) {
    tookOver_ = true;  // it closes in our place and ends the process
    return true;
  }
  if (!binder_->closing()) {
    closeFailed_ = true;
    if (watchdog_) watchdog_->reopen();
    return false;
  }
  closed_ = true;
  detach();
  return true;
}

int StationShell::run() {
  show();
  host_.runLoop();
  detach();
  host_.drain();
  if (tookOver_) return watchdog_->finish();
  return exitCode();
}

int StationShell::exitCode() {
  if (!closed_) return closeFailed_ ? kExitCloseFailed : kExitAllSucceeded;
  if (timedOut_) return kExitTimedOut;
  if (pictureFailed_) return kExitRunFailed;
  if (!o_.exitFromTally) return kExitAllSucceeded;
  return tallyExit(model_.rows().counters());
}

}  // namespace station

#include "station/frontend/headless/headless.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

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

  FormShow(model, hooks);
  std::fprintf(options.out, "ready\n");
  std::fflush(options.out);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(options.timeoutSeconds);
  bool timedOut = false;
  for (;;) {
    for (const platform::VolumeNotice& notice : events.poll()) {
      std::fprintf(options.out, "volume: %s %s\n",
                   notice.change == platform::VolumeChange::Arrival ? "arrival" : "removal",
                   notice.letters.c_str());
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

  bool closed = FormClose(model, hooks);
  model.removeListener(listener);
  if (!closed) return kHeadlessCloseFailed;
  if (timedOut) return kHeadlessTimedOut;
  Counters c = model.counters();
  return c.success == c.total ? kHeadlessAllSucceeded : kHeadlessRunFailed;
}

}  // namespace station

#include "station/portlog/port_log.h"

#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/file_append.h"
#include "platform/program_folder.h"

namespace station {

namespace {

// Threads of this process take turns here instead of bumping into each other's exclusive
// open; the file's own exclusivity still keeps other programs out.
std::mutex& writers() {
  static std::mutex m;
  return m;
}

}  // namespace

std::string portLogPath() { return portLogPath(platform::programFolder()); }
std::string portLogPath(const std::string& folder) { return platform::miscPathIn(folder, "port.log"); }

PortLog::PortLog(std::string path, PortLogRetry retry) : path_(std::move(path)), retry_(retry) {}

void PortLog::clear() const {
  std::lock_guard<std::mutex> lock(writers());
  std::remove(path_.c_str());
}

bool PortLog::append(std::string_view text) const {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  std::lock_guard<std::mutex> lock(writers());
  for (int attempt = 1;; ++attempt) {
    switch (platform::appendExclusive(path_, line)) {
      case platform::AppendResult::Written: return true;
      case platform::AppendResult::Failed: return false;
      case platform::AppendResult::Busy: break;
    }
    if (attempt >= retry_.attempts) return false;
    std::this_thread::sleep_for(retry_.pause);
  }
}

const PortLog& portLog() {
  static const PortLog log(portLogPath());
  return log;
}

void clearPortLog() { portLog().clear(); }

void appendPortLog(std::string_view text) { portLog().append(text); }

}  // namespace station


// The port log: the station's plain-text trace (misc/port.log beside the program), one
// event per line ending in CR LF, appended from the window thread and every production
// thread. Each line is written with the file opened exclusively and closed again, so
// lines never interleave; a line that finds the file busy is tried again for a short
// while before it is given up.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace station {

// The program's folder (or `folder`) + "\misc\port.log" (with "/" on POSIX): it does not
// move with the current directory.
std::string portLogPath();
std::string portLogPath(const std::string& folder);

// By default a line waits about a second for a busy file.
struct PortLogRetry {
  int attempts = 200;                  // tries for one line in all
  std::chrono::milliseconds pause{5};  // between two tries
};

class PortLog {
 public:
  explicit PortLog(std::string path, PortLogRetry retry = {});

  const std::string& path() const { return path_; }

  // Deletes the file if it is there (a file that cannot be deleted stays as it was).
  void clear() const;

  // Appends `text` and CR LF. False when the line was dropped: the file cannot be created
  // or written, or another program held it for longer than the retries last.
  bool append(std::string_view text) const;

 private:
  std::string path_;
  PortLogRetry retry_;
};

// The process's log at portLogPath().
const PortLog& portLog();
// Shorthands for the process's log: emptied at start-up, one line per event.
void clearPortLog();
void appendPortLog(std::string_view text);

}  // namespace station

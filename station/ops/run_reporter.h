// Where a production run and the device operations report: the slot's row (status text
// and colour, progress, port cell, flash name, result picture), the run's place in the
// counters, the system area size, messages and the port log. The window model implements
// it thread-safely: each call is one step that no other worker's or the window's change
// interleaves with. Slots are numbered 0..7.
#pragma once

#include <string>

#include "station/texts/lang.h"

namespace station {

constexpr int DEVICE_COUNT = 8;

// Row status text colours: the system's window-text colour while waiting or working,
// blue after success, red (0x0000FF as a Windows colour value) after failure.
enum class TextColour { WindowText, Red, Blue };

// The colour's word in traces: "window", "red", "blue".
constexpr const char* colourName(TextColour colour) {
  switch (colour) {
    case TextColour::WindowText: return "window";
    case TextColour::Red: return "red";
    case TextColour::Blue: return "blue";
  }
  return "?";
}

enum class MessageIcon { None, Error, Warning, Information };

enum class StatusPicture { Success, Fail };  // .\misc\success.bmp, .\misc\fail.bmp

class RunReporter {
 public:
  virtual ~RunReporter() = default;

  // The drive the slot holds, 0 when it is free (a run finds its slot by its drive).
  virtual char slotDrive(int slot) const = 0;

  // --- the slot's row ---
  virtual void setStatus(int slot, const std::string& text, TextColour colour) = 0;
  virtual void setStatusColour(int slot, TextColour colour) = 0;
  virtual void setProgress(int slot, int position) = 0;
  virtual void setProgressVisible(int slot, bool visible) = 0;
  virtual std::string portCell(int slot) const = 0;
  virtual void setPortCell(int slot, const std::string& text) = 0;
  virtual void setFlashName(int slot, const std::string& name) = 0;
  // Shows the picture when its file exists and the slot still holds a drive; otherwise
  // leaves the picture as it is.
  virtual void showPicture(int slot, StatusPicture picture) = 0;
  virtual void hidePicture(int slot) = 0;

  // --- the run's bracket ---
  // runningCount + 1; the copy list and the settings closed to the operator.
  virtual void runStarted() = 0;
  // runningCount - 1 (held at 0, the groups open again when it reaches 0), then the
  // tally: totalCount + 1, successCount + success, failCount = total - success.
  virtual void runEnded(bool success) = 0;
  // The common end of a failed run: when the slot no longer holds `drive` and its status
  // is red, the row waits again (WaitDeviceMsg in the window-text colour).
  virtual void resetRowIfReleased(int slot, char drive) = 0;

  // The system area size line (one for the station, not per slot).
  virtual void setSystemAreaSize(const std::string& text) = 0;
  // Modal message: returns once the operator has closed it.
  virtual void showMessage(const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;
  // One line appended to the port log (CR LF added).
  virtual void appendPortLog(const std::string& line) = 0;

  // The language table's text (its bytes as stored), which the row texts are made of.
  virtual std::string text(LangText id) const = 0;
  // Lets the window serve its events while an operation waits; a no-op off its thread.
  virtual void pump() = 0;
};

}  // namespace station

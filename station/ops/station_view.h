// What the device operations and the production engine need from the main window model.
// The model implements it thread-safely: production workers call it from their own
// threads, and each call is one step that no other worker's or the window's change
// interleaves with. Rows and slots are numbered 0..7 (row i is shown as "Device i+1").
#pragma once

#include <string>
#include <vector>

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

class StationView {
 public:
  virtual ~StationView() = default;

  // --- slot rows ---
  // The slot's driveLetter, 0 when the slot is free.
  virtual char slotDriveLetter(int slot) const = 0;
  virtual void setStatusText(int slot, const std::string& text, TextColour colour) = 0;
  virtual void setStatusColour(int slot, TextColour colour) = 0;
  virtual void setProgress(int slot, int position) = 0;
  virtual void setProgressVisible(int slot, bool visible) = 0;
  virtual std::string portCell(int slot) const = 0;
  virtual void setPortCell(int slot, const std::string& text) = 0;
  virtual void setSpareCell(int slot, const std::string& text) = 0;

  // --- labSystemArea ---
  virtual void setSystemAreaText(const std::string& text) = 0;

  // Modal message: returns once the operator has closed it.
  virtual void showMessage(const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;

  // --- settings controls, read when a step needs them ---
  virtual bool blankCheckTicked() const = 0;        // chkBlankCheck
  virtual bool isoUpgradeTicked() const = 0;        // chkISOupgrade
  virtual bool systemAreaFixed() const = 0;         // SystemAreachk
  virtual int systemAreaComboIndex() const = 0;     // SystemAreaComBo, -1 when none
  virtual void setSystemAreaComboIndex(int index) = 0;
  virtual std::string labelText() const = 0;        // LabelEdit
  virtual std::vector<std::string> copyList() const = 0;  // SelectFileList2 items

  // The language table's text (its bytes as stored).
  virtual std::string text(LangText id) const = 0;

  // Lets the window process pending messages while an operation waits. The window stays
  // responsive by design, so models may make this a no-op.
  virtual void pump() = 0;

  // One line appended to the port log (the model adds CR LF).
  virtual void appendPortLog(const std::string& line) = 0;
};

}  // namespace station

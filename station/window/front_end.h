// What a window front end (Qt, Win32, headless) gives the binder: controls made from the
// window description and set by name, the window thread, modal messages and choosers.
// Every text crosses this interface in UTF-8; the binder decodes the language table's
// bytes before. A name the front end does not know is ignored.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "station/ops/run_reporter.h"
#include "station/settings/prefer_package.h"
#include "station/window/window_description.h"

namespace station {

// The operator's input on the controls, by element name; a front end calls these for
// input only, never for its own programmatic changes.
struct FrontEndInputs {
  std::function<void(const std::string& name)> clicked;
  std::function<void(const std::string& name, bool checked)> toggled;
  std::function<void(const std::string& name, int index)> chosen;  // combo item, track bar position
  std::function<void(const std::string& name, const std::string& text)> edited;
  std::function<void(const std::string& name, std::vector<int> selection)> selected;
};

// A picture for a Picture control: a bitmap file, a decoded picture, or neither (cleared).
struct PictureRef {
  std::string file;
  const Picture* image = nullptr;
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // Makes the element (its parent already made) with everything the description fixes:
  // kind, name, parent, geometry, font, fixed colour, items, range, length, initial
  // visible and enabled states.
  virtual void createControl(const ElementDesc& element) = 0;

  virtual void setText(const std::string& name, const std::string& text) = 0;
  virtual void setToolTip(const std::string& name, const std::string& text) = 0;
  virtual void setColour(const std::string& name, TextColour colour) = 0;
  virtual void setEnabled(const std::string& name, bool enabled) = 0;
  virtual void setVisible(const std::string& name, bool visible) = 0;
  virtual void setChecked(const std::string& name, bool checked) = 0;
  // Progress and track bar position, combo box item (-1 none), page shown.
  virtual void setValue(const std::string& name, int value) = 0;
  // A list box's items and its chosen ones.
  virtual void setItems(const std::string& name, const std::vector<std::string>& items,
                        const std::vector<int>& selection) = 0;
  virtual void setPicture(const std::string& name, const PictureRef& picture) = 0;

  // Runs `work` on the window thread: queued behind what was queued before, or, with
  // `wait`, returning once it has run (at once when already on the window thread).
  virtual void runOnWindowThread(std::function<void()> work, bool wait) = 0;
  // Runs `tick` on the window thread every `intervalMs` while `window` exists, until the
  // window's timer is set again; 0 stops it.
  virtual void setTimer(const std::string& window, int intervalMs, std::function<void()> tick) = 0;
  // A modal message with an OK button; returns once it is closed.
  virtual void messageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // Choosers: nothing when the operator cancels. Paths in the system's own spelling.
  virtual std::optional<std::vector<std::string>> chooseFiles(const std::string& title) = 0;
  virtual std::optional<std::string> chooseFolder() = 0;
  virtual std::optional<std::string> choosePackage(const std::string& title) = 0;
  // Asks a window to close (its close handling decides).
  virtual void closeWindow(const std::string& name) = 0;
};

}  // namespace station

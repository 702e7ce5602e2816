// A front end that records every call as a line ("text D1infoStr=successful") and answers
// its dialogs from the test.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "station/window/front_end.h"

namespace station::testing {

class RecordingFrontEnd : public FrontEnd {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> created;
  std::optional<std::vector<std::string>> files;  // the file chooser's answer
  std::function<void()> tick;                      // the last timer's work

  void createControl(const ElementDesc& e) override { created.push_back(e.name); }
  void setText(const std::string& n, const std::string& t) override { add("text " + n + "=" + t); }
  void setToolTip(const std::string& n, const std::string& t) override { add("tip " + n + "=" + t); }
  void setColour(const std::string& n, TextColour c) override { add("colour " + n + "=" + colourName(c)); }
  void setEnabled(const std::string& n, bool v) override { add("enabled " + n + "=" + (v ? "1" : "0")); }
  void setVisible(const std::string& n, bool v) override { add("visible " + n + "=" + (v ? "1" : "0")); }
  void setChecked(const std::string& n, bool v) override { add("checked " + n + "=" + (v ? "1" : "0")); }
  void setValue(const std::string& n, int v) override { add("value " + n + "=" + std::to_string(v)); }
  void setItems(const std::string& n, const std::vector<std::string>& items, const std::vector<int>& sel) override {
    add("items " + n + "=" + std::to_string(items.size()) + "/" + std::to_string(sel.size()));
  }
  void setPicture(const std::string& n, const PictureRef& p) override { add("picture " + n + "=" + p.file); }
  void runOnWindowThread(std::function<void()> work, bool) override { work(); }
  void setTimer(const std::string& n, int ms, std::function<void()> tick) override {
    add("timer " + n + "=" + std::to_string(ms));
    this->tick = std::move(tick);
  }
  void messageBox(const std::string& text, const std::string& caption, MessageIcon) override {
    add("message " + caption + ": " + text);
  }
  std::optional<std::vector<std::string>> chooseFiles(const std::string& title) override {
    add("choose files " + title);
    return files;
  }
  std::optional<std::string> chooseFolder() override { return std::nullopt; }
  std::optional<std::string> choosePackage(const std::string&) override { return std::nullopt; }
  void closeWindow(const std::string& n) override { add("close " + n); }

  bool has(const std::string& call) const {
    for (const std::string& c : calls)
      if (c == call) return true;
    return false;
  }

 private:
  void add(std::string call) { calls.push_back(std::move(call)); }
};

}  // namespace station::testing

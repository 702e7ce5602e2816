// What every front end (headless, Qt, Win32) promises the binder and the shell, as one
// table of checks: values set by name read back from its own controls, unknown names
// ignored, programmatic changes never heard as input, window-thread work run in the
// order queued (and a waiting call only once it ran), timers by window. Each front end's
// test gives its controls' read-back and a way to let its window thread run.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "station/ops/run_reporter.h"
#include "station/window/binder.h"
#include "station/window/front_end.h"

namespace station::testing {

struct FrontEndSubject {
  FrontEnd* frontEnd = nullptr;
  // The controls as the front end shows them.
  std::function<std::string(const std::string& name)> text;
  std::function<bool(const std::string& name)> enabled, visible, checked;
  std::function<int(const std::string& name)> value;  // bar position, combo item, page
  std::function<std::vector<std::string>(const std::string& name)> items;
  // A text's colour as drawn: "window", "red", "blue" (colourName's words), else "other".
  std::function<std::string(const std::string& name)> colour;
  // Lets the window thread run what waits for it, for about `ms` milliseconds.
  std::function<void(int ms)> settle;
  // Where the operator's input goes; empty for a front end without any (headless).
  std::function<void(FrontEndInputs)> setInputs;
};

struct ContractCheck {
  const char* what;
  void (*run)(FrontEndSubject& s);
};

inline const std::vector<ContractCheck>& frontEndContract() {
  static const std::vector<ContractCheck> checks = {
      {"texts read back in UTF-8, a label's and an edit's",
       [](FrontEndSubject& s) {
         const std::pair<const char*, std::string> texts[] = {
             {"D1infoStr", "FILE Writing..."}, {"D8infoStr", "\xE8\xA8\xAD\xE5\x82\x99 8"},  // 設備 8
             {"LabelEdit", "MY_AUDIO"},        {"TotalStr", "12"}};
         for (const auto& [name, text] : texts) {
           s.frontEnd->setText(name, text);
           EXPECT_EQ(s.text(name), text) << name;
         }
       }},
      {"enabled and visible states both ways",
       [](FrontEndSubject& s) {
         for (bool on : {false, true, false}) {
           s.frontEnd->setEnabled("Upgradebtn", on);
           s.frontEnd->setVisible("ProgressBar3", on);
           EXPECT_EQ(s.enabled("Upgradebtn"), on);
           EXPECT_EQ(s.visible("ProgressBar3"), on);
         }
       }},
      {"check boxes, bars, combo items and list items",
       [](FrontEndSubject& s) {
         s.frontEnd->setChecked("chkFormat", true);
         EXPECT_TRUE(s.checked("chkFormat"));
         s.frontEnd->setChecked("chkFormat", false);
         EXPECT_FALSE(s.checked("chkFormat"));
         s.frontEnd->setValue("ProgressBar2", 42);
         EXPECT_EQ(s.value("ProgressBar2"), 42);
         s.frontEnd->setValue("SystemAreaComBo", 3);
         EXPECT_EQ(s.value("SystemAreaComBo"), 3);
         const std::vector<std::string> files{"C:\\fw\\program.bin", "song.mp3"};
         s.frontEnd->setItems("SelectFileList2", files, {1});
         EXPECT_EQ(s.items("SelectFileList2"), files);
         s.frontEnd->setItems("SelectFileList2", {}, {});
         EXPECT_TRUE(s.items("SelectFileList2").empty());
       }},
      {"text colours: the description's own, then the rows' by name",
       [](FrontEndSubject& s) {
         EXPECT_EQ(s.colour("FailStr"), "red") << "the description's fixed colour";
         for (TextColour c : {TextColour::Blue, TextColour::Red, TextColour::WindowText}) {
           s.frontEnd->setColour("D1infoStr", c);
           EXPECT_EQ(s.colour("D1infoStr"), colourName(c));
         }
       }},
      {"a name it does not know is ignored",
       [](FrontEndSubject& s) {
         s.frontEnd->setText("NoSuchControl", "x");
         s.frontEnd->setEnabled("NoSuchControl", false);
         s.frontEnd->setValue("NoSuchControl", 7);
         s.frontEnd->setItems("NoSuchControl", {"a"}, {0});
         EXPECT_EQ(s.text("D2infoStr"), s.text("D2infoStr"));  // still answering
       }},
      {"programmatic changes are never heard as input",
       [](FrontEndSubject& s) {
         if (!s.setInputs) return;
         std::vector<std::string> heard;
         s.setInputs({[&](const std::string& n) { heard.push_back("click " + n); },
                      [&](const std::string& n, bool) { heard.push_back("toggle " + n); },
                      [&](const std::string& n, int) { heard.push_back("choose " + n); },
                      [&](const std::string& n, const std::string&) { heard.push_back("edit " + n); },
                      [&](const std::string& n, std::vector<int>) { heard.push_back("select " + n); }});
         s.frontEnd->setText("LabelEdit", "CHANGED");
         s.frontEnd->setChecked("chkFormat", true);
         s.frontEnd->setValue("SystemAreaComBo", 5);
         s.frontEnd->setItems("SelectFileList2", {"a.bin", "b.mp3"}, {1});
         s.frontEnd->setValue("PageControl", 1);
         s.frontEnd->setValue("PageControl", 0);
         s.settle(20);
         s.setInputs({});
         EXPECT_TRUE(heard.empty()) << heard.front();
       }},
      {"work from other threads runs in the order queued, a waiting call once it ran",
       [](FrontEndSubject& s) {
         std::mutex mu;
         std::vector<int> order;
         std::atomic<bool> waitedRan{false}, returned{false};
         std::thread worker([&] {
           for (int i = 0; i < 200; ++i)
             s.frontEnd->runOnWindowThread(
                 [&, i] {
                   std::lock_guard<std::mutex> lock(mu);
                   order.push_back(i);
                 },
                 false);
           s.frontEnd->runOnWindowThread([&] { waitedRan = true; }, true);
           returned = waitedRan.load();
         });
         const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         while (!returned && std::chrono::steady_clock::now() < until) s.settle(5);
         worker.join();
         EXPECT_TRUE(returned.load()) << "the waiting call returned after its work ran";
         // A waiting call's work may run on the asking thread (headless messages); the
         // queued work has all run by the time a later look at the window thread is done.
         s.settle(5);
         std::vector<int> want(200);
         for (int i = 0; i < 200; ++i) want[i] = i;
         std::lock_guard<std::mutex> lock(mu);
         EXPECT_EQ(order, want);
       }},
      {"timers by window: stopping one leaves the other",
       [](FrontEndSubject& s) {
         int main = 0, preview = 0;
         s.frontEnd->setTimer("Form1", 10, [&] { ++main; });
         s.frontEnd->setTimer("frmBmpPreview", 10, [&] { ++preview; });
         s.frontEnd->setTimer("frmBmpPreview", 0, {});
         s.settle(300);
         s.frontEnd->setTimer("Form1", 0, {});
         const int seen = main;
         s.settle(100);
         EXPECT_GT(seen, 0);
         EXPECT_EQ(main, seen) << "stopped";
         EXPECT_EQ(preview, 0);
       }},
  };
  return checks;
}

// Every check against the front end, whose main and preview windows must be made.
inline void checkFrontEndContract(FrontEndSubject& subject) {
  for (const ContractCheck& c : frontEndContract()) {
    SCOPED_TRACE(c.what);
    c.run(subject);
  }
}

}  // namespace station::testing

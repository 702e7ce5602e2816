// A model on a scratch program folder, with a language table of its own, a launcher that
// answers the device tool by script, and a recorder of change records and messages.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "station/ops/device_tool.h"
#include "support/scratch.h"
#include "station/model/device_arrival.h"
#include "station/model/station_model.h"

namespace station::testing {

namespace fs = std::filesystem;

using tarn::testing::readFile;
using tarn::testing::writeFile;

// Device-tool answers by drive and sub-command word ("" for the probe); unlisted: 1.
class ScriptedLauncher : public ToolLauncher {
 public:
  std::map<std::string, uint32_t> codes;  // "E:chk_is_updatedisk" -> 0
  std::vector<std::string> runs;          // "E: chk_is_updatedisk", in order
  std::vector<bool> pumped;
  std::function<void(const std::string&)> onRun;  // called with "E: word" as a run starts
  std::mutex mu;

  platform::ChildResult run(const platform::ChildCommand& command,
                            const platform::WaitPolicy& policy) override {
    std::string drive = command.argv.size() > 1 ? command.argv[1] : "";
    std::string word = command.argv.size() > 2 ? command.argv[2] : "";
    {
      std::lock_guard<std::mutex> lock(mu);
      runs.push_back(word.empty() ? drive : drive + " " + word);
      pumped.push_back(static_cast<bool>(policy.pump));
    }
    if (onRun) onRun(word.empty() ? drive : drive + " " + word);
    if (policy.pump) policy.pump();
    auto it = codes.find(drive + word);
    return {platform::ChildOutcome::Ended, it == codes.end() ? 1u : it->second};
  }
};

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    root_ = tarn::testing::freshScratchDir("tarn_model");
    fs::create_directories(root_ / "misc");
    makeModel();
  }
  void TearDown() override {
    fs::current_path(saved_);
    model_.reset();
    fs::remove_all(root_);
  }

  void makeModel() {
    changes_.clear();
    messages_.clear();
    started_.clear();
    ModelOptions o;
    o.programFolder = root_.string();
    o.languages = &lang_;
    o.langId = 0x0409;
    model_ = std::make_unique<StationModel>(o);
    model_->addListener([this](const Change& c) { changes_.push_back(c); });
    model_->setMessageHandler([this](const ModalMessage& m) {
      messages_.push_back(m.caption + ": " + m.text);
    });
    model_->setRunStarter([this](char d) { started_.push_back(d); });
  }

  std::vector<std::string> portLog() const {
    std::string text = readFile(root_ / "misc" / "port.log");
    std::vector<std::string> lines;
    size_t at = 0, end;
    while ((end = text.find("\r\n", at)) != std::string::npos) {
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    EXPECT_EQ(at, text.size()) << "every line ends in CR LF";
    return lines;
  }

  StationModel& m() { return *model_; }

  // The records of one kind so far, in their order.
  template <class Kind>
  std::vector<Kind> changesOf() const {
    std::vector<Kind> out;
    for (const Change& c : changes_)
      if (const Kind* k = std::get_if<Kind>(&c)) out.push_back(*k);
    return out;
  }

  fs::path saved_, root_;
  LanguageTable lang_;
  std::unique_ptr<StationModel> model_;
  std::vector<Change> changes_;  // the listener runs under the model's lock
  std::vector<std::string> messages_;
  std::vector<char> started_;
};

}  // namespace station::testing

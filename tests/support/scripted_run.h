// A recording station (what a run reports to and reads) and a scripted player for the
// production sequence. Both write
// into one trace, so the order of row updates, device steps and pauses can be checked.
#pragma once

#include "station/engine/production_sequence.h"
#include "support/fake_run_settings.h"
#include "station/texts/lang.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace station::testing {

struct Trace {
  std::vector<std::string> events;
  std::mutex mu;
  void add(std::string e) {
    std::lock_guard<std::mutex> lock(mu);
    events.push_back(std::move(e));
  }
};

class FakeStation : public RunReporter, public FakeRunSettings {
 public:
  explicit FakeStation(Trace& trace) : trace_(trace) {}

  char drive[DEVICE_COUNT] = {};
  std::string port[DEVICE_COUNT];
  std::string status[DEVICE_COUNT];
  TextColour colour[DEVICE_COUNT] = {};
  std::map<std::string, std::string> textOverride;
  std::vector<std::string> portLog;

  // --- RunReporter ---
  char slotDrive(int slot) const override { return drive[slot]; }
  void setStatus(int slot, const std::string& text, TextColour c) override {
    status[slot] = text;
    colour[slot] = c;
    add("text", slot, text + " " + colourName(c));
  }
  void setStatusColour(int slot, TextColour c) override {
    colour[slot] = c;
    add("colour", slot, colourName(c));
  }
  void setProgress(int slot, int position) override { add("bar", slot, std::to_string(position)); }
  void setProgressVisible(int slot, bool v) override { add("barvisible", slot, v ? "1" : "0"); }
  std::string portCell(int slot) const override { return port[slot]; }
  void setPortCell(int slot, const std::string& t) override {
    port[slot] = t;
    add("port", slot, t);
  }
  void setFlashName(int slot, const std::string& t) override { add("spare", slot, t); }
  void setSystemAreaSize(const std::string& t) override { trace_.add("area " + t); }
  void showMessage(const std::string& text, const std::string& caption, MessageIcon) override {
    trace_.add("message " + text + " | " + caption);
  }
  // The built-in English table, unless a test gives a text of its own (by entry name).
  std::string text(LangText id) const override {
    if (auto it = textOverride.find(langName(id)); it != textOverride.end()) return it->second;
    static const LanguageTable english;
    return english.text(id);
  }
  void pump() override {}
  void appendPortLog(const std::string& line) override {
    portLog.push_back(line);
    trace_.add("log " + line);
  }

  void showPicture(int slot, StatusPicture p) override {
    add("picture", slot, p == StatusPicture::Success ? "success" : "fail");
  }
  void hidePicture(int slot) override { add("picture", slot, "hide"); }
  void runStarted() override { trace_.add("started"); }
  void runEnded(bool success) override { trace_.add(success ? "ended 1" : "ended 0"); }
  void resetRowIfReleased(int slot, char d) override {
    add("reset", slot, std::string(1, d));
  }


 private:
  void add(const char* what, int slot, const std::string& value) {
    trace_.add(std::string(what) + " " + std::to_string(slot) + " " + value);
  }
  Trace& trace_;
};

// A player whose every answer is scripted: each operation answers the next queued value,
// or its default once the queue is empty. Every call is traced as "dev <op> [args]". The
// player's root folder is a map from file name to the copied source.
class ScriptedDevice : public ProductionDevice {
 public:
  explicit ScriptedDevice(Trace& trace) : trace_(trace) {}

  std::map<std::string, std::deque<long long>> script;
  std::map<std::string, long long> defaults = {
      {"isTarn", 0},          {"writeManagerStart", 1}, {"writeManager", 1},
      {"writeManagerEnd", 1}, {"readBondingId", 1},     {"setSystemArea", 0},
      {"flashItemCount", 1},  {"readFlashId", 0xECD35195}, {"writeConfigTable", 1},
      {"badBlockStart", 1},   {"blankCheckStart", 1},   {"blankCheckPoll", 1},
      {"badBlockPoll", 1},    {"writePackageStart", 1}, {"writePackage", 1},
      {"writePackageEnd", 1}, {"checkUpdateSuccess", 1}, {"sizeMB", 256},
      {"isReadable", 1},      {"format", 1},            {"setLabel", 1},
      {"copy", 1},            {"discoverSlot", 1},
  };
  std::deque<std::string> labels;  // readLabel answers, then the volume's own label
  std::string volumeLabel;
  std::string table = "FT_EC_D3_51_95.txt";
  SlotPort found{0, 5, 5};
  int packageIndex[3] = {-1, -1, -1};
  std::map<std::string, std::string> root;
  // Called before the named operation answers.
  std::map<std::string, std::function<void()>> before;

  std::optional<SlotPort> discoverSlot(char) override {
    if (!next("discoverSlot", "")) return std::nullopt;
    return found;
  }
  bool isTarn(char) override { return next("isTarn", ""); }
  bool writeManagerStart(char) override { return next("writeManagerStart", ""); }
  bool writeManager(char) override { return next("writeManager", ""); }
  bool writeManagerEnd(char) override { return next("writeManagerEnd", ""); }
  uint32_t readBondingId(char) override { return uint32_t(next("readBondingId", "")); }
  uint32_t setSystemArea(char, int units) override {
    return uint32_t(next("setSystemArea", std::to_string(units)));
  }
  uint32_t flashItemCount(char) override { return uint32_t(next("flashItemCount", "")); }
  uint32_t readFlashId(char) override { return uint32_t(next("readFlashId", "")); }
  std::string identifyFlash(uint32_t flashId, uint32_t chipCount, int slot) override {
    char id[16];
    std::snprintf(id, sizeof id, "%08X", flashId);
    trace_.add("dev identifyFlash " + std::string(id) + " " + std::to_string(chipCount) + " " +
               std::to_string(slot));
    return table;
  }
  bool writeConfigTable(char, const std::string& path) override {
    return next("writeConfigTable", path);
  }
  bool badBlockStart(char) override { return next("badBlockStart", ""); }
  bool blankCheckStart(char) override { return next("blankCheckStart", ""); }
  bool blankCheckPoll(char, int slot) override {
    return next("blankCheckPoll", std::to_string(slot));
  }
  bool badBlockPoll(char) override { return next("badBlockPoll", ""); }
  bool writePackageStart(char, PackageKind k) override {
    return next("writePackageStart", std::to_string(int(k)));
  }
  bool writePackage(char, PackageKind k) override {
    return next("writePackage", std::to_string(int(k)));
  }
  bool writePackageEnd(char) override { return next("writePackageEnd", ""); }
  bool checkUpdateSuccess(char) override { return next("checkUpdateSuccess", ""); }
  uint32_t sizeMB(char) override { return uint32_t(next("sizeMB", "")); }
  int packageFileIndex(PackageKind k) override { return packageIndex[int(k) - 1]; }

  std::string readLabel(char) override {
    trace_.add("dev readLabel");
    if (labels.empty()) return volumeLabel;
    std::string l = labels.front();
    labels.pop_front();
    return l;
  }
  bool isReadable(char) override { return next("isReadable", ""); }
  bool format(char, bool fat32, const std::string& label) override {
    bool ok = next("format", std::string(fat32 ? "FAT32 " : "FAT16 ") + label);
    if (ok) {
      root.clear();
      volumeLabel = label;
    }
    return ok;
  }
  bool setLabel(char, const std::string& label) override {
    bool ok = next("setLabel", label);
    if (ok) volumeLabel = label;
    return ok;
  }
  bool copyToRoot(const std::string& source, char, const std::string& name) override {
    bool ok = next("copy", source + " -> " + name);
    if (ok) root[name] = source;
    return ok;
  }
  void checkVolume(char) override { trace_.add("dev checkVolume"); }

 private:
  long long next(const std::string& op, const std::string& args) {
    trace_.add("dev " + op + (args.empty() ? "" : " " + args));
    if (auto b = before.find(op); b != before.end()) b->second();
    auto& q = script[op];
    if (q.empty()) return defaults.at(op);
    long long v = q.front();
    q.pop_front();
    return v;
  }
  Trace& trace_;
};

// Pauses that only record how long they were asked to be.
class RecordingPauses : public Pauses {
 public:
  explicit RecordingPauses(Trace& trace) : trace_(trace) {}
  void pause(unsigned ms) override { trace_.add("wait " + std::to_string(ms)); }

 private:
  Trace& trace_;
};

}  // namespace station::testing

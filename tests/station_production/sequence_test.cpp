// The production sequence against a scripted player and a recording window model.
#include "support/scripted_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace station::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

#ifdef _WIN32
const std::string kMisc = ".\\misc\\";
#else
const std::string kMisc = "./misc/";
#endif

class Sequence : public ::testing::Test {
 protected:
  Sequence() {
    view.drive[0] = 'D';
    view.drive[2] = 'E';
    view.files = {"C:\\media\\song.mp3"};
  }

  RunOutcome run(char drive = 'E') { return runProduction(view, view, dev, pauses, drive); }

  const std::vector<std::string>& events() const { return trace.events; }

  // The trace from the first event equal to `from` (inclusive) on.
  std::vector<std::string> from(const std::string& first) const {
    auto it = std::find(events().begin(), events().end(), first);
    return {it, events().end()};
  }
  std::vector<std::string> only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : events())
      if (e.rfind(prefix, 0) == 0) out.push_back(e);
    return out;
  }
  int count(const std::string& event) const {
    return static_cast<int>(std::count(events().begin(), events().end(), event));
  }
  std::vector<std::string> deviceSteps() const {
    std::vector<std::string> out;
    for (const auto& e : only("dev ")) out.push_back(e.substr(4));
    return out;
  }

  Trace trace;
  FakeStation view{trace};
  ScriptedDevice dev{trace};
  RecordingPauses pauses{trace};
};

// One whole run with the window's default settings: every row update, device step, pause
// and port log line, in order.
TEST_F(Sequence, DefaultRunInOrder) {
  RunOutcome r = run();
  EXPECT_TRUE(r.slotFound);
  EXPECT_TRUE(r.success);
  EXPECT_EQ(r.slot, 2);
  EXPECT_THAT(events(), ElementsAreArray(std::vector<std::string>{
      "log E: Start",
      "picture 2 hide",
      "wait 200",
      "port 2 ",
      "dev discoverSlot",
      "log E Port:0-5",
      "port 2 Port:0-5",
      "started",
      "barvisible 2 1",
      "bar 2 5",
      "dev isTarn",
      "text 2 FSM Writing window",
      "wait 100",
      "dev writeManagerStart",
      "wait 100",
      "dev writeManager",
      "wait 100",
      "dev writeManagerEnd",
      "picture 2 hide",
      "text 2 FILE Writing... window",
      "dev readBondingId",
      "wait 100",
      "area System Area Size: 4MB",
      "dev setSystemArea 1",
      "dev flashItemCount",
      "dev readFlashId",
      "dev identifyFlash ECD35195 1 2",
      "dev writeConfigTable " + kMisc + "FT_EC_D3_51_95.txt",
      "bar 2 10",
      "wait 100",
      "text 2 Bad Block Check... window",
      "dev badBlockStart",
      "bar 2 15",
      "wait 200",
      "text 2 Bad Block Check... window",
      "bar 2 15",
      "wait 200",
      "text 2 Program Write Setup... window",
      "dev writePackageStart 1",
      "bar 2 40",
      "wait 200",
      "text 2 Program Writing... window",
      "dev writePackage 1",
      "bar 2 50",
      "wait 100",
      "text 2 Program Write End... window",
      "dev writePackageEnd",
      "bar 2 60",
      "wait 100",
      "text 2 Prefer Write Setup... window",
      "dev writePackageStart 2",
      "bar 2 65",
      "wait 200",
      "text 2 Prefer Writing... window",
      "dev writePackage 2",
      "bar 2 70",
      "wait 200",
      "text 2 Prefer Write End... window",
      "dev writePackageEnd",
      "bar 2 75",
      "wait 100",
      "dev badBlockPoll",
      "bar 2 94",
      "wait 100",
      "dev sizeMB",
      "dev isReadable",
      "log E: size =256MB",
      "dev readLabel",
      "text 2 Set Volume Label... window",
      "dev setLabel MY_AUDIO",
      "dev copy C:\\media\\song.mp3 -> song.mp3",
      "wait 200",
      "barvisible 2 1",
      "text 2 successful blue",
      "bar 2 100",
      "picture 2 success",
      "log E success!",
      "dev checkVolume",
      "ended 1",
  }));
  EXPECT_EQ(r.pausedMs, 2300u);
}

// The optional steps in their places: blanking check, CD image, parity check.
TEST_F(Sequence, OptionalStepsInOrder) {
  view.blankCheckTicked = true;
  view.iso = true;
  view.parity = true;
  view.textOverride["BlankingCheckSetup"] = "Blanking CheckSetting";
  RunOutcome r = run();
  EXPECT_TRUE(r.success);
  std::vector<std::string> blanking = from("text 2 Blanking CheckSetting... window");
  blanking.resize(8);
  EXPECT_THAT(blanking, ElementsAre("text 2 Blanking CheckSetting... window",
                                    "dev blankCheckStart", "bar 2 15", "wait 200",
                                    "text 2 Blanking Check... window", "dev blankCheckPoll 2",
                                    "bar 2 15", "wait 200"));
  std::vector<std::string> iso = from("text 2 ISO Write Setup... window");
  iso.resize(19);
  EXPECT_THAT(iso, ElementsAre("text 2 ISO Write Setup... window", "dev writePackageStart 3",
                               "bar 2 80", "wait 100", "text 2 ISO Writing... window",
                               "dev writePackage 3", "bar 2 85", "wait 200",
                               "text 2 ISO Write End... window", "dev writePackageEnd",
                               "bar 2 90", "wait 200", "text 2 FW Parity Check... window",
                               "dev checkUpdateSuccess", "bar 2 92", "dev badBlockPoll",
                               "bar 2 94", "wait 100", "dev sizeMB"));
  EXPECT_EQ(count("dev badBlockStart"), 0);
  EXPECT_EQ(r.pausedMs, 2300u + 500u);
}

struct FailCase {
  const char* name;
  std::function<void(FakeStation&, ScriptedDevice&)> setup;
  const char* red;        // the row's only red text
  const char* lastStep;   // the last device step of the run before its common end
};

// Every failing step: its exact red text, one failure counted, nothing done after it.
TEST_F(Sequence, EachFailingStep) {
  auto fails = [](const char* op) {
    return [op](FakeStation&, ScriptedDevice& d) { d.script[op] = {0}; };
  };
  // The package writes come three times (program, prefer, ISO): `op` fails on its `nth`.
  auto failsOn = [](const char* op, int nth) {
    return [op, nth](FakeStation& v, ScriptedDevice& d) {
      v.iso = nth == 3;
      d.script[op] = std::deque<long long>(static_cast<size_t>(nth - 1), 1);
      d.script[op].push_back(0);
    };
  };
  const std::vector<FailCase> cases = {
      {"wt_mgr_s", fails("writeManagerStart"), "FLASH Write Setup fail", "writeManagerStart"},
      {"wt_mgr", fails("writeManager"), "FSM Writing fail", "writeManager"},
      {"wt_mgr_e", fails("writeManagerEnd"), "FLASH End fail", "writeManagerEnd"},
      {"no firmware variant", [](FakeStation& v, ScriptedDevice&) { v.bondingId = 0; },
       "SDK bonding ID check fail 0", "writeManagerEnd"},
      {"chip variant 0", [](FakeStation&, ScriptedDevice& d) { d.script["readBondingId"] = {0}; },
       "Chip bonding ID check fail0", "readBondingId"},
      {"chip variant 16", [](FakeStation&, ScriptedDevice& d) { d.script["readBondingId"] = {16}; },
       "Chip bonding ID check fail16", "readBondingId"},
      {"variant mismatch",
       [](FakeStation& v, ScriptedDevice& d) {
         v.bondingId = 2;
         d.script["readBondingId"] = {0x0103};  // the low byte is the variant
       },
       "SDK bonding ID not match 2", "readBondingId"},
      {"rd_id 0", [](FakeStation&, ScriptedDevice& d) { d.script["readFlashId"] = {0}; },
       "Flash Check fail", "readFlashId"},
      {"wt_cfg", fails("writeConfigTable"), "FILE Writing fail",
       "writeConfigTable ./misc/FT_EC_D3_51_95.txt"},
      {"chk_bad_s", fails("badBlockStart"), "Bad Block Check fail", "badBlockStart"},
      {"blk_chk_s",
       [](FakeStation& v, ScriptedDevice& d) {
         v.blankCheckTicked = true;
         d.script["blankCheckStart"] = {0};
       },
       "Blanking Check Setup fail", "blankCheckStart"},
      {"blk_chk_p",
       [](FakeStation& v, ScriptedDevice& d) {
         v.blankCheckTicked = true;
         d.script["blankCheckPoll"] = {0};
       },
       "Blanking Check fail", "blankCheckPoll 2"},
      {"program start", fails("writePackageStart"), "Program Write Setup fail",
       "writePackageStart 1"},
      {"program data", fails("writePackage"), "Program Writing fail", "writePackage 1"},
      {"program end", fails("writePackageEnd"), "Program Write End fail", "writePackageEnd"},
      {"prefer start", failsOn("writePackageStart", 2), "Prefer Write Setup fail", "writePackageStart 2"},
      {"prefer data", failsOn("writePackage", 2), "Prefer Writing fail", "writePackage 2"},
      {"prefer end", failsOn("writePackageEnd", 2), "Prefer Write End fail", "writePackageEnd"},
      {"iso start", failsOn("writePackageStart", 3), "ISO Write Setup fail", "writePackageStart 3"},
      {"iso data", failsOn("writePackage", 3), "ISO Writing fail", "writePackage 3"},
      {"iso end", failsOn("writePackageEnd", 3), "ISO Write End fail", "writePackageEnd"},
      {"parity",
       [](FakeStation& v, ScriptedDevice& d) {
         v.parity = true;
         d.script["checkUpdateSuccess"] = {0};
       },
       "FW Parity Check fail", "checkUpdateSuccess"},
      {"chk_bad_p", fails("badBlockPoll"), "Bad Block Check fail", "badBlockPoll"},
      {"format twice",
       [](FakeStation& v, ScriptedDevice& d) {
         v.formatTicked = true;
         d.script["format"] = {0, 0};
       },
       "Format fail", "format FAT32 MY_AUDIO"},
      {"label twice", [](FakeStation&, ScriptedDevice& d) { d.script["setLabel"] = {0, 0}; },
       "Set Volume Label fail", "setLabel MY_AUDIO"},
      {"copy",
       [](FakeStation& v, ScriptedDevice& d) {
         v.files = {"C:\\music\\a.mp3", "C:\\music\\b.mp3", "C:\\music\\c.mp3"};
         d.script["copy"] = {1, 0};
       },
       "Copy Files fail", "copy C:\\music\\b.mp3 -> b.mp3"},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.name);
    Trace t;
    FakeStation v{t};
    ScriptedDevice d{t};
    RecordingPauses p{t};
    v.drive[2] = 'E';
    v.files = {"C:\\music\\song.mp3"};
    c.setup(v, d);
    RunOutcome r = runProduction(v, v, d, p, 'E');
    EXPECT_FALSE(r.success);

    std::vector<std::string> red, steps;
    for (const auto& e : t.events) {
      if (e.rfind("text 2 ", 0) == 0 && e.size() > 4 && e.substr(e.size() - 4) == " red")
        red.push_back(e.substr(7, e.size() - 11));
      if (e.rfind("dev ", 0) == 0) steps.push_back(e.substr(4));
    }
    std::string wantLast = c.lastStep;
#ifdef _WIN32
    if (wantLast.rfind("writeConfigTable ", 0) == 0)
      wantLast = "writeConfigTable .\\misc\\FT_EC_D3_51_95.txt";
#endif
    EXPECT_THAT(red, ElementsAre(c.red));
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), wantLast);

    // The common end of a failed run, once.
    std::vector<std::string> tail(t.events.end() - 4, t.events.end());
    EXPECT_THAT(tail, ElementsAre("picture 2 fail", "reset 2 E", "log E fail!", "ended 0"));
    EXPECT_EQ(std::count(t.events.begin(), t.events.end(), "ended 0"), 1);
    EXPECT_EQ(std::count(t.events.begin(), t.events.end(), "started"), 1);
    EXPECT_EQ(std::count(t.events.begin(), t.events.end(), "log E success!"), 0);
    EXPECT_EQ(std::count(t.events.begin(), t.events.end(), "picture 2 success"), 0);
  }
}

// A player that answers as the controller and already carries the label is finished:
// no flash operation, blue "Unresetted device", counted as a success, its volume checked.
TEST_F(Sequence, FinishedPlayerIsUnresetted) {
  dev.script["isTarn"] = {1};
  dev.volumeLabel = "MY_AUDIO";
  RunOutcome r = run();
  EXPECT_TRUE(r.success);
  EXPECT_THAT(deviceSteps(), ElementsAre("discoverSlot", "isTarn", "readLabel", "checkVolume"));
  EXPECT_THAT(from("dev readLabel"),
              ElementsAre("dev readLabel", "barvisible 2 1", "text 2 Unresetted device blue",
                          "bar 2 100", "picture 2 success", "log E success!", "dev checkVolume",
                          "ended 1"));
}

// With an empty LabelEdit, a controller whose volume has no label is finished only when
// the volume can be read: an unreadable one also reads back as no label.
TEST_F(Sequence, EmptyLabelNeedsAReadableVolume) {
  struct Case {
    bool readable;
    std::vector<std::string> steps;
  };
  const std::vector<Case> cases = {
      {true, {"discoverSlot", "isTarn", "readLabel", "isReadable", "checkVolume"}},
      {false, {"discoverSlot", "isTarn", "readLabel", "isReadable", "writeManagerEnd"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.readable);
    Trace t;
    FakeStation v{t};
    ScriptedDevice d{t};
    RecordingPauses p{t};
    v.drive[2] = 'E';
    v.labelText = "";
    d.script["isTarn"] = {1};
    d.script["isReadable"] = {c.readable};
    RunOutcome r = runProduction(v, v, d, p, 'E');
    EXPECT_TRUE(r.success);
    std::vector<std::string> steps;
    for (const auto& e : t.events)
      if (e.rfind("dev ", 0) == 0) steps.push_back(e.substr(4));
    steps.resize(c.steps.size());
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(std::count(t.events.begin(), t.events.end(), "text 2 Unresetted device blue"),
              c.readable ? 1 : 0);
  }
}

// Answering as the controller with another label skips the manager download but still
// closes it; a firmware fitting every variant skips the variant query.
TEST_F(Sequence, ControllerWithOtherLabelAndAnyVariant) {
  dev.script["isTarn"] = {1};
  dev.labels = {"OLD"};
  view.bondingId = 255;
  RunOutcome r = run();
  EXPECT_TRUE(r.success);
  std::vector<std::string> steps = deviceSteps();
  std::vector<std::string> head(steps.begin(), steps.begin() + 5);
  EXPECT_THAT(head, ElementsAre("discoverSlot", "isTarn", "readLabel", "writeManagerEnd",
                                "setSystemArea 1"));
  EXPECT_EQ(count("text 2 FSM Writing window"), 0);
}

// chkFwUpgrade unticked: the run succeeds after the flash test; no firmware, no format,
// no label, no copy, yet the volume is checked.
TEST_F(Sequence, NoFirmwareUpgradeEndsAfterFlashTest) {
  view.fwUpgrade = false;
  view.formatTicked = true;
  RunOutcome r = run();
  EXPECT_TRUE(r.success);
  EXPECT_THAT(from("dev badBlockStart"),
              ElementsAre("dev badBlockStart", "bar 2 15", "wait 200",
                          "text 2 Bad Block Check... window", "bar 2 15", "wait 200", "bar 2 100",
                          "barvisible 2 1", "text 2 successful blue", "bar 2 100",
                          "picture 2 success", "log E success!", "dev checkVolume", "ended 1"));
  EXPECT_TRUE(dev.root.empty());
}

// File system by capacity, and when the volume is formatted rather than labelled.
TEST_F(Sequence, FormatChoice) {
  struct Case {
    uint32_t capacity;
    bool ticked, readable;
    std::vector<std::string> expect;  // from the size line on, up to the copy
  };
  const std::vector<Case> cases = {
      {128, true, true,
       {"log E: size =128MB", "wait 100", "text 2 FormatFAT16... window",
        "dev format FAT16 MY_AUDIO", "dev copy C:\\m\\a.mp3 -> a.mp3"}},
      {129, true, true,
       {"log E: size =129MB", "wait 100", "text 2 FormatFAT32... window",
        "dev format FAT32 MY_AUDIO", "dev copy C:\\m\\a.mp3 -> a.mp3"}},
      {64, false, false,
       {"log E: size =64MB", "wait 100", "text 2 FormatFAT16... window",
        "dev format FAT16 MY_AUDIO", "dev copy C:\\m\\a.mp3 -> a.mp3"}},
      // Readable and unticked: only the label, and none when it is already right.
      {4096, false, true, {"log E: size =4096MB", "dev readLabel", "dev copy C:\\m\\a.mp3 -> a.mp3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    Trace t;
    FakeStation v{t};
    ScriptedDevice d{t};
    RecordingPauses p{t};
    v.drive[2] = 'E';
    v.files = {"C:\\m\\a.mp3"};
    v.formatTicked = c.ticked;
    d.defaults["sizeMB"] = c.capacity;
    d.defaults["isReadable"] = c.readable;
    d.volumeLabel = "MY_AUDIO";
    EXPECT_TRUE(runProduction(v, v, d, p, 'E').success);
    auto it = std::find(t.events.begin(), t.events.end(), c.expect.front());
    ASSERT_NE(it, t.events.end());
    std::vector<std::string> got(it, it + static_cast<long>(c.expect.size()));
    EXPECT_EQ(got, c.expect);
    EXPECT_EQ(d.volumeLabel, "MY_AUDIO");
    EXPECT_EQ(d.root.count("a.mp3"), 1u);
  }
}

// One failed format or label is retried once: the retry text in the window colour, a
// pause before the second format and none before the second label.
TEST_F(Sequence, FormatAndLabelRetry) {
  view.formatTicked = true;
  dev.script["format"] = {0, 1};
  EXPECT_TRUE(run().success);
  std::vector<std::string> retry = from("text 2 FormatFAT32... window");
  retry.resize(5);
  EXPECT_THAT(retry, ElementsAre("text 2 FormatFAT32... window", "dev format FAT32 MY_AUDIO",
                                 "text 2 Format Retry window", "wait 500",
                                 "dev format FAT32 MY_AUDIO"));

  Trace t;
  FakeStation v{t};
  ScriptedDevice d{t};
  RecordingPauses p{t};
  v.drive[2] = 'E';
  d.script["setLabel"] = {0, 1};
  v.labelText = "BOX";
  EXPECT_TRUE(runProduction(v, v, d, p, 'E').success);
  auto it = std::find(t.events.begin(), t.events.end(), "text 2 Set Volume Label... window");
  ASSERT_NE(it, t.events.end());
  EXPECT_THAT(std::vector<std::string>(it, it + 4),
              ElementsAre("text 2 Set Volume Label... window", "dev setLabel BOX",
                          "text 2 Set Volume Label Retry window", "dev setLabel BOX"));
  EXPECT_EQ(d.volumeLabel, "BOX");
}

// The copy list: names after the last separator, the later of two equal names stays,
// and only the positions the downloads recorded stay out.
TEST_F(Sequence, CopyListRules) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    int indexes[3];
    std::map<std::string, std::string> root;
  };
  const std::vector<Case> cases = {
      {"names and the later one",
       {"C:\\media\\song.mp3", "D:\\other\\song.mp3", "plain.txt"},
       {-1, -1, -1},
       {{"song.mp3", "D:\\other\\song.mp3"}, {"plain.txt", "plain.txt"}}},
      {"images recorded stay out",
       {"C:\\fw\\program.bin", "C:\\fw\\prefer.dat", "C:\\fw\\image.iso", "C:\\a.mp3"},
       {0, 1, 2},
       {{"a.mp3", "C:\\a.mp3"}}},
      {"no CD image recorded: image.iso is copied",
       {"C:\\fw\\program.bin", "C:\\fw\\prefer.dat", "C:\\fw\\image.iso"},
       {0, 1, -1},
       {{"image.iso", "C:\\fw\\image.iso"}}},
      // Recorded by an earlier run before program.bin was removed from the list: the
      // position now names an operator's file, which is copied.
      {"stale position names another file",
       {"C:\\fw\\prefer.dat", "C:\\a.mp3", "C:\\b.mp3"},
       {1, 0, 2},
       {{"a.mp3", "C:\\a.mp3"}, {"b.mp3", "C:\\b.mp3"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Trace t;
    FakeStation v{t};
    ScriptedDevice d{t};
    RecordingPauses p{t};
    v.drive[2] = 'E';
    v.files = c.files;
    std::copy(std::begin(c.indexes), std::end(c.indexes), d.packageIndex);
    EXPECT_TRUE(runProduction(v, v, d, p, 'E').success);
    EXPECT_EQ(d.root, c.root);
  }
}

TEST(CopiedFileName, AfterTheLastSeparator) {
  EXPECT_EQ(copiedFileName("C:\\media\\song.mp3"), "song.mp3");
  EXPECT_EQ(copiedFileName("song.mp3"), "song.mp3");
  EXPECT_EQ(copiedFileName("C:\\media\\"), "");
#ifdef _WIN32
  EXPECT_EQ(copiedFileName("C:\\media/x/song.mp3"), "media/x/song.mp3");
#else
  EXPECT_EQ(copiedFileName("/home/op/media/song.mp3"), "song.mp3");
  EXPECT_EQ(copiedFileName("/home/op\\media/song.mp3"), "song.mp3");
  EXPECT_EQ(copiedFileName("/home/op/media\\song.mp3"), "song.mp3");
#endif
}

// Slot discovery failing every time: four log lines, an empty port cell, and the run
// judged by its device steps only.
TEST_F(Sequence, EveryDiscoveryFails) {
  dev.defaults["discoverSlot"] = 0;
  RunOutcome r = run();
  EXPECT_TRUE(r.success);
  EXPECT_THAT(only("log "), ElementsAre("log E: Start", "log E:Get port fail <1>!!",
                                        "log E:Get port fail <2>!!", "log E:Get port fail <3>!!",
                                        "log E: size =256MB", "log E success!",
                                        "log E:Get port fail <end>!!"));
  EXPECT_THAT(only("port "), ElementsAre("port 2 "));
  EXPECT_THAT(from("dev checkVolume"),
              ElementsAre("dev checkVolume", "wait 500", "dev discoverSlot",
                          "log E:Get port fail <end>!!", "ended 1"));
  EXPECT_EQ(r.pausedMs, 2300u + 500u);

  // The same on a failing run: the end discovery comes before the failure picture.
  Trace t;
  FakeStation v{t};
  ScriptedDevice d{t};
  RecordingPauses p{t};
  v.drive[2] = 'E';
  d.defaults["discoverSlot"] = 0;
  d.script["readFlashId"] = {0};
  EXPECT_FALSE(runProduction(v, v, d, p, 'E').success);
  std::vector<std::string> tail(t.events.end() - 8, t.events.end());
  EXPECT_THAT(tail, ElementsAre("text 2 Flash Check fail red", "wait 500", "dev discoverSlot",
                                "log E:Get port fail <end>!!", "picture 2 fail", "reset 2 E",
                                "log E fail!", "ended 0"));
}

// A later discovery runs only while the port cell is still empty.
TEST_F(Sequence, DiscoveryUntilFound) {
  dev.script["discoverSlot"] = {0, 0, 1};
  dev.found = {2, 3, 7};
  EXPECT_TRUE(run().success);
  EXPECT_EQ(count("dev discoverSlot"), 3);
  EXPECT_THAT(only("log E"), ::testing::IsSupersetOf({"log E:Get port fail <1>!!",
                                                      "log E:Get port fail <2>!!",
                                                      "log E Port:2-3"}));
  EXPECT_THAT(only("port "), ElementsAre("port 2 ", "port 2 Port:2-3"));
  auto size = std::find(events().begin(), events().end(), "log E: size =256MB");
  auto port = std::find(events().begin(), events().end(), "port 2 Port:2-3");
  EXPECT_LT(port, size);  // the third discovery comes before the capacity
}

// A letter that no slot holds: two log lines and nothing else.
TEST_F(Sequence, NoSlotForTheLetter) {
  RunOutcome r = run('F');
  EXPECT_FALSE(r.slotFound);
  EXPECT_THAT(events(), ElementsAre("log F: Start", "log F: realidx == DEVICE_COUNT return!!"));
}

// The run takes the first slot that holds its letter, and a player removed during the run
// is reset at the common end by the window's rule (the run goes on until a step fails).
TEST_F(Sequence, RemovedDuringRun) {
  view.drive[5] = 'G';
  dev.before["writePackage"] = [this] { view.drive[5] = 0; };
  dev.script["writePackageEnd"] = {0};
  RunOutcome r = runProduction(view, view, dev, pauses, 'G');
  EXPECT_EQ(r.slot, 5);
  EXPECT_FALSE(r.success);
  std::vector<std::string> tail(events().end() - 5, events().end());
  EXPECT_THAT(tail, ElementsAre("text 5 Program Write End fail red", "picture 5 fail",
                                "reset 5 G", "log G fail!", "ended 0"));
}

}  // namespace
}  // namespace station::testing

#include "support/model_fixture.h"

#include "station/model/copy_list_edit.h"

namespace station::testing {
namespace {

class HandlerTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    m().rows().setAllStatusTexts(m().lang(LangText::WaitDeviceMsg));
    fs::current_path(root_);
    launcher_.runs.clear();
    launcher_.pumped.clear();
    sleeps_.clear();
    tool_ = std::make_unique<DeviceTool>(launcher_, model_->reporter(), model_->runSettings(), "misc");
    context_ = std::make_unique<ArrivalContext>(
        ArrivalContext{*tool_, [this](unsigned ms) { sleeps_.push_back(ms); }});
  }
  void TearDown() override {
    context_.reset();
    tool_.reset();
    ModelTest::TearDown();
  }
  void arrive(const std::string& letters) { handleArrival(m(), *context_, letters); }
  // A drive the probe accepts and that is no update disk.
  void accept(char d) {
    std::string k(1, d);
    launcher_.codes[k + ":"] = 225;
    launcher_.codes[k + ":chk_is_updatedisk"] = 1;
  }
  std::string slots() const {
    std::string s;
    for (int i = 0; i < DEVICE_COUNT; ++i) s += model_->rows().slotDriveLetter(i) ? model_->rows().slotDriveLetter(i) : '-';
    return s;
  }

  ScriptedLauncher launcher_;
  std::unique_ptr<DeviceTool> tool_;
  std::vector<unsigned> sleeps_;
  std::unique_ptr<ArrivalContext> context_;
};

TEST_F(HandlerTest, ArrivalDecisions) {
  struct Case {
    const char* name;
    std::string held;         // drives that hold slots 0.. before the notice
    bool manual;
    std::map<std::string, uint32_t> codes;
    std::string letters;
    std::vector<std::string> log;
    std::vector<std::string> toolRuns;
    std::string slots;
    std::string runs;         // drives whose runs were started
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"accepted", "", false, {{"E:", 225}}, "E", {"E:<--"},
       {"E: chk_is_updatedisk", "E:"}, "E-------", "E", {}},
      {"update disk is reset after 500 ms", "", false, {{"E:chk_is_updatedisk", 0}, {"E:", 225}}, "E",
       {"E:<--", "E:-> reset"}, {"E: chk_is_updatedisk", "E: 2st_reset"}, "--------", "", {}},
      {"probe rejects", "", false, {{"E:", 0}}, "E", {"E:<--", "EbCheckDrive fail continue"},
       {"E: chk_is_updatedisk", "E:"}, "--------", "", {}},
      {"letter already held", "E", false, {{"E:", 225}}, "E", {"E:<--", "E: exists continue"},
       {"E: chk_is_updatedisk"}, "E-------", "", {}},
      {"lowest free slot", "HI", false, {{"E:", 225}}, "E", {"E:<--"},
       {"E: chk_is_updatedisk", "E:"}, "HIE-----", "E", {}},
      {"E before F, F finds no slot", "HIJKLMN", false, {{"E:", 225}, {"F:", 225}}, "EF",
       {"E:<--", "F:<--"}, {"E: chk_is_updatedisk", "E:", "F: chk_is_updatedisk", "F:"},
       "HIJKLMNE", "E", {"Status: Exceed the device limit!"}},
      {"manual mode registers only", "", true, {{"E:", 225}}, "E", {"E:<--"},
       {"E: chk_is_updatedisk", "E:"}, "E-------", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    for (char d : c.held) {
      m().rows().occupySlot(d);
      m().rows().slotTaken();
    }
    m().controls().setChecked(Check::CheckManuupgrade, c.manual);
    launcher_.codes = c.codes;
    m().portLogFile().clear();
    arrive(c.letters);
    EXPECT_EQ(portLog(), c.log);
    EXPECT_EQ(launcher_.runs, c.toolRuns);
    EXPECT_EQ(slots(), c.slots);
    EXPECT_EQ(std::string(started_.begin(), started_.end()), c.runs);
    EXPECT_EQ(messages_, c.messages);
    bool took = c.slots.find(c.letters[0]) != std::string::npos && c.held.find(c.letters[0]) == std::string::npos;
    if (took) {
      int slot = m().rows().findSlot(c.letters[0]);
      EXPECT_TRUE(m().rows().slotRow(slot).progressVisible);
      EXPECT_EQ(m().rows().slotRow(slot).text, c.manual ? "device plugin" : "Waiting device...");
      EXPECT_FALSE(m().controls().enabled(Element::chkBarFixed));
      EXPECT_FALSE(m().controls().enabled(Element::CheckManuupgrade));
    }
    EXPECT_EQ(m().rows().counters().occupied, static_cast<int>(c.held.size()) + (took ? 1 : 0));
    if (std::string(c.name).find("update disk") == 0) {
      EXPECT_EQ(sleeps_, std::vector<unsigned>{500});
    }
  }
}

// The update-disk check lets the window serve its messages; the probe does not.
TEST_F(HandlerTest, OnlyTheUpdateDiskCheckPumps) {
  accept('E');
  arrive("E");
  EXPECT_EQ(launcher_.pumped, (std::vector<bool>{true, false}));
}

TEST_F(HandlerTest, RemovalReturnsTheRowToWaiting) {
  for (char d : std::string("EF")) {
    accept(d);
    arrive(std::string(1, d));
  }
  writeFile(root_ / "misc" / "fail.bmp", "BM");
  writeFile(root_ / "misc" / "success.bmp", "BM");
  m().rows().setStatusText(0, "Format fail", TextColour::Red);
  m().rows().setProgress(0, 60);
  m().rows().showPicture(0, StatusPicture::Fail);
  m().rows().setPortCell(0, "Port:0-5");
  m().rows().setSpareCell(0, "Samsung");
  m().rows().setStatusText(1, "successful", TextColour::Blue);
  m().rows().showPicture(1, StatusPicture::Success);
  m().rows().setSpareCell(1, "Hynix");
  m().portLogFile().clear();

  handleRemoval(m(), "E");
  RowState e = m().rows().row(0);
  EXPECT_EQ(e.text, "Waiting device...");
  EXPECT_EQ(e.colour, TextColour::WindowText);
  EXPECT_FALSE(e.progressVisible);
  EXPECT_EQ(e.progress, 0);
  EXPECT_FALSE(e.pictureVisible);
  EXPECT_EQ(e.port, "");
  EXPECT_EQ(e.spare, "");
  EXPECT_EQ(slots(), "-F------");
  RowState f = m().rows().row(1);
  EXPECT_EQ(f.text, "successful") << "another row is left as it is";
  EXPECT_TRUE(f.pictureVisible);
  EXPECT_EQ(f.spare, "Hynix");
  EXPECT_FALSE(m().controls().enabled(Element::CheckManuupgrade)) << "row 2 still shows a result";
  EXPECT_EQ(m().rows().counters().occupied, 1);

  handleRemoval(m(), "FG");  // G holds no slot: only its line
  EXPECT_EQ(portLog(), (std::vector<std::string>{"E: -->", "F: -->", "G: -->"}));
  EXPECT_EQ(m().rows().counters().occupied, 0);
  for (int r = 0; r < DEVICE_COUNT; ++r) {
    EXPECT_FALSE(m().rows().row(r).pictureVisible);
    EXPECT_EQ(m().rows().row(r).spare, "");
  }
  EXPECT_TRUE(m().controls().enabled(Element::CheckManuupgrade));
  EXPECT_TRUE(m().controls().enabled(Element::chkBarFixed));
}

// A disk the station will not touch shows why on the lowest free row until it goes; an
// occupied row is never written, nor a free row that shows something else by then.
TEST_F(HandlerTest, RefusedDiskShowsOnTheLowestFreeRowUntilItGoes) {
  accept('E');
  arrive("E");
  m().portLogFile().clear();
  handleRefusal(m(), "/dev/sda", "system disk");
  handleRefusal(m(), "/dev/sdc", "mounted");
  EXPECT_EQ(m().rows().row(1).text, "/dev/sdc refused: mounted") << "the later one takes the row";
  EXPECT_EQ(m().rows().row(1).colour, TextColour::Red);
  EXPECT_EQ(m().rows().row(0).text.find("refused"), std::string::npos);
  EXPECT_EQ(slots(), "E-------") << "a refusal takes no slot";
  handleRefusalGone(m(), "/dev/sda");
  EXPECT_EQ(m().rows().row(1).text, "/dev/sdc refused: mounted");
  handleRefusalGone(m(), "/dev/sdc");
  EXPECT_EQ(m().rows().row(1).text, "Waiting device...");
  EXPECT_EQ(m().rows().row(1).colour, TextColour::WindowText);
  EXPECT_EQ(portLog(), (std::vector<std::string>{"/dev/sda: refused, system disk",
                                                 "/dev/sdc: refused, mounted", "/dev/sda: -->",
                                                 "/dev/sdc: -->"}));
}

// A run whose player was removed leaves its result on the row: the two boxes stay
// disabled until that row waits again.
TEST_F(HandlerTest, BoxesStayDisabledWhileARowShowsAResult) {
  accept('E');
  accept('F');
  arrive("EF");
  m().rows().setStatusText(0, "FILE Writing...", TextColour::WindowText);
  handleRemoval(m(), "F");
  m().rows().setStatusText(1, "successful", TextColour::Blue);  // F's run ended after its removal
  handleRemoval(m(), "E");
  EXPECT_EQ(m().rows().counters().occupied, 0);
  EXPECT_FALSE(m().controls().enabled(Element::chkBarFixed));
  EXPECT_FALSE(m().controls().enabled(Element::CheckManuupgrade));
}

TEST_F(HandlerTest, UpgradeButtonStartsEachRegisteredSlotOnce) {
  m().controls().setChecked(Check::CheckManuupgrade, true);
  for (char d : std::string("EFG")) accept(d);
  arrive("E");
  arrive("F");
  arrive("G");
  handleRemoval(m(), "F");  // registered, then gone: a press skips it
  EXPECT_TRUE(started_.empty());

  UpgradebtnClick(m());
  EXPECT_EQ(std::string(started_.begin(), started_.end()), "EG") << "slot 0 first";
  // The runs have not yet replaced "device plugin": a second press starts nothing more.
  UpgradebtnClick(m());
  EXPECT_EQ(std::string(started_.begin(), started_.end()), "EG");

  // Unplugged and plugged again, the player is registered anew and can be started.
  handleRemoval(m(), "E");
  arrive("E");
  EXPECT_EQ(m().rows().findSlot('E'), 0);
  UpgradebtnClick(m());
  EXPECT_EQ(std::string(started_.begin(), started_.end()), "EGE");
}

TEST_F(HandlerTest, UpgradeButtonSkipsRowsThatAreNotRegistered) {
  m().controls().setChecked(Check::CheckManuupgrade, true);
  accept('E');
  arrive("E");
  m().rows().setStatusText(0, "successful", TextColour::Blue);  // as if a run had ended there
  UpgradebtnClick(m());
  EXPECT_TRUE(started_.empty());
}

TEST_F(HandlerTest, EmptyDevicePluginTextStillStartsRegisteredRows) {
  writeFile(root_ / "misc" / "lang.ini", "[English]\nWaitDeviceMsg = \"Waiting device...\"\n");
  if (!lang_.load((root_ / "misc" / "lang.ini").string(), 0x0409))
    GTEST_SKIP() << "built without the language file reader";
  m().rows().setAllStatusTexts(m().lang(LangText::WaitDeviceMsg));
  m().controls().setChecked(Check::CheckManuupgrade, true);
  accept('F');
  arrive("F");
  EXPECT_EQ(m().rows().slotRow(0).text, "");
  UpgradebtnClick(m());
  EXPECT_EQ(std::string(started_.begin(), started_.end()), "F");
}

TEST_F(HandlerTest, CheckManuupgradeEnablesTheStartButton) {
  for (bool ticked : {true, false, true}) {
    m().controls().setChecked(Check::CheckManuupgrade, ticked);
    CheckManuupgradeClick(m());
    EXPECT_EQ(m().controls().enabled(Element::Upgradebtn), ticked);
  }
}

std::string programBin(bool marker, uint8_t id, size_t size = 8197) {
  std::string bytes(size, '\0');
  if (marker && size >= 8196) {
    const char m[4] = {0x70, 0x08, static_cast<char>(0xA5), 0x5A};
    bytes.replace(8192, 4, m, 4);
  }
  if (size > 8196) bytes[8196] = static_cast<char>(id);
  return bytes;
}

TEST_F(HandlerTest, SdkBondingIdFromTheFirstMarkedProgramBin) {
  const fs::path d = root_ / "fw";
  writeFile(d / "a" / "program.bin", programBin(true, 3));
  writeFile(d / "b" / "PROGRAM.BIN", programBin(true, 7));
  writeFile(d / "c" / "program.bin", programBin(false, 9));
  writeFile(d / "d" / "program.bin", programBin(true, 5, 8196));  // no room for the id
  writeFile(d / "e" / "Program.Bin", programBin(true, 255));
  writeFile(d / "f" / "program.bin.txt", programBin(true, 4));
  auto p = [&](const char* rel) { return (d / rel).string(); };
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{}, 0},
      {{p("f/program.bin.txt")}, 0},
      {{p("a/program.bin")}, 3},
      {{p("b/PROGRAM.BIN"), p("a/program.bin")}, 7},
      {{p("c/program.bin"), p("a/program.bin")}, 3},  // no marker: a later one decides
      {{p("d/program.bin"), p("b/PROGRAM.BIN")}, 7},  // too short: no marker
      {{p("x/program.bin"), p("a/program.bin")}, 0},  // cannot be opened: the walk ends
      {{p("e/Program.Bin")}, 255},
  };
  for (const auto& [list, id] : cases) EXPECT_EQ(readSdkBondingId(list), id) << ::testing::PrintToString(list);
}

TEST_F(HandlerTest, RemoveTakesTheSelectedItemsAndRecomputesTheArea) {
  m().files().setCopyList({"1", "2", "3", "4", "5"});
  m().files().setSelection({3, 1});
  changes_.clear();
  RemoveBtnClick(m());
  EXPECT_EQ(m().files().copyList(), (std::vector<std::string>{"1", "3", "5"}));
  EXPECT_TRUE(m().files().selection().empty());
  EXPECT_EQ(m().controls().systemAreaText(), "System Area Size: 4MB");

  changes_.clear();
  RemoveBtnClick(m());  // nothing selected
  EXPECT_EQ(m().files().copyList(), (std::vector<std::string>{"1", "3", "5"}));
  bool recomputed = !changesOf<SystemAreaTextChanged>().empty();
  EXPECT_TRUE(recomputed);
}

TEST_F(HandlerTest, RemovingProgramBinKeepsTheBondingIdUntilTheNextAddition) {
  const std::string fw = (root_ / "fw" / "program.bin").string();
  writeFile(fw, programBin(true, 6));
  AddFilesBtnClick(m(), [&](const std::string&) { return std::vector<std::string>{fw}; });
  EXPECT_EQ(m().files().sdkBondingId(), 6);
  m().files().setSelection({0});
  RemoveBtnClick(m());
  EXPECT_EQ(m().files().sdkBondingId(), 6);
  AddFilesBtnClick(m(), [](const std::string&) { return std::nullopt; });
  EXPECT_EQ(m().files().sdkBondingId(), 0);
}

TEST_F(HandlerTest, AddAppendsInTheChoosersOrderAndRestoresTheFolder) {
  const fs::path other = root_ / "elsewhere";
  fs::create_directories(other);
  writeFile(other / "song.mp3", "x");
  std::string title;
  AddFilesBtnClick(m(), [&](const std::string& t) {
    title = t;
    fs::current_path(other);  // the chooser moves around
    std::string s = (other / "song.mp3").string();
    return std::vector<std::string>{s, s};
  });
  EXPECT_EQ(title, "Select files");
  EXPECT_EQ(m().files().copyList().size(), 2u) << "the same file twice is listed twice";
  EXPECT_EQ(fs::current_path(), root_);

  changes_.clear();
  AddFilesBtnClick(m(), [](const std::string&) { return std::nullopt; });
  EXPECT_EQ(m().files().copyList().size(), 2u);
  bool recomputed = !changesOf<SystemAreaTextChanged>().empty();
  EXPECT_TRUE(recomputed) << "a cancelled chooser still recomputes the size";
}

}  // namespace
}  // namespace station::testing

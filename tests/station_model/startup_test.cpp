#include "support/model_fixture.h"

#include "base/overloaded.h"
#include "station/texts/fsm_version.h"
#include "station/model/startup.h"

namespace station::testing {
namespace {

class FakeLock : public platform::InstanceLock {
 public:
  explicit FakeLock(int* releases, std::function<void()> onRelease = {})
      : releases_(releases), onRelease_(std::move(onRelease)) {}
  void release() override {
    if (held_) {
      ++*releases_;
      if (onRelease_) onRelease_();
    }
    held_ = false;
  }
  bool held() const override { return held_; }
  void setWindow(void*) override {}
  void onRaiseRequest(std::function<void()>) override {}

 private:
  int* releases_;
  std::function<void()> onRelease_;
  bool held_ = true;
};

class StartupTest : public ModelTest {
 protected:
  platform::InstanceCheck firstInstance() {
    platform::InstanceCheck check;
    check.lock = std::make_unique<FakeLock>(&releases_);
    return check;
  }
  fs::path misc(const char* name) const { return root_ / "misc" / name; }
  std::vector<std::string> areaTexts() const {
    std::vector<std::string> out;
    for (const SystemAreaTextChanged& c : changesOf<SystemAreaTextChanged>()) out.push_back(c.text);
    return out;
  }
  int releases_ = 0;
};

TEST_F(StartupTest, FirstStartWithoutAnyFile) {
  writeFile(misc("port.log"), "E:<--\r\n");
  ASSERT_TRUE(FormCreate(m(), firstInstance()));
  EXPECT_FALSE(fs::exists(misc("port.log"))) << "every start begins an empty log";
  FormShow(m());

  EXPECT_EQ(fs::current_path(), root_);
  EXPECT_EQ(m().controls().caption(), "MP3 Mass Production Tool (" + stationBuildDate() + ") + Unknown FSM Ver.");
  EXPECT_EQ(m().controls().appTitle(), "MP3 Mass Production Tool");
  for (int r = 0; r < DEVICE_COUNT; ++r) {
    EXPECT_EQ(m().rows().row(r).text, "Waiting device...");
    EXPECT_EQ(m().rows().slotDriveLetter(r), 0);
    EXPECT_EQ(m().rows().rowOfSlot(r), r);
  }
  // prefer.ini's defaults, not the window definition's states.
  const std::pair<Check, bool> boxes[] = {
      {Check::chkFormat, false},       {Check::chkBlankCheck, false},
      {Check::chkISOupgrade, false},   {Check::chkEraseAll, false},
      {Check::CheckManuupgrade, false}, {Check::chkBarFixed, true},
      {Check::chkFwUpgrade, true},     {Check::SystemAreachk, false},
      {Check::chkParityCheck, true}};
  for (auto [box, ticked] : boxes) EXPECT_EQ(m().controls().checked(box), ticked) << checkName(box);
  EXPECT_EQ(m().controls().comboIndex(), 0) << "\"4MB\", not the \"64MB\" of the step before";
  EXPECT_EQ(m().controls().labelText(), "") << "not MY_AUDIO";
  EXPECT_EQ(m().controls().edit5(), "0");
  EXPECT_EQ(m().controls().activePage(), 0);
  EXPECT_FALSE(m().controls().enabled(Element::Upgradebtn));
  EXPECT_FALSE(m().controls().enabled(Element::SystemAreaComBo));
  EXPECT_FALSE(m().controls().enabled(Element::chkEraseAll));
  EXPECT_FALSE(m().controls().enabled(Element::tabSetting));
  EXPECT_TRUE(m().controls().enabled(Element::grpFileList));
  EXPECT_EQ(m().controls().systemAreaText(), "System Area Size: 4MB");
  EXPECT_EQ(m().files().sdkBondingId(), 0);
  EXPECT_TRUE(m().files().copyList().empty());
}

// What FormShow changes, in its order (rows, copy list and area as kinds of change).
TEST_F(StartupTest, FormShowOrder) {
  writeFile(misc("prefer.ini"), "[MP_Setting]\nManual Upgrade=1\nSystem Area check=1\n");
  FormCreate(m(), firstInstance());
  changes_.clear();
  FormShow(m());
  std::vector<std::string> order;
  for (const Change& c : changes_) {
    const std::string step = std::visit(
        tarn::Overloaded{
            [](const PageChanged& p) { return "page " + std::to_string(p.page); },
            [](const ComboIndexChanged& i) { return "combo " + std::to_string(i.index); },
            [](const SlotsRebound&) { return std::string("binding"); },
            [](const CaptionChanged&) { return std::string("caption"); },
            [](const TextsLoaded&) { return std::string("texts"); },
            [](const CopyListChanged&) { return std::string("copy list"); },
            [](const RowChanged&) { return std::string("rows"); },
            [](const SettingsPageChanged&) { return std::string("setting page"); },
            [](const CheckedChanged& k) { return std::string(checkName(k.check)) + (k.checked ? "=1" : "=0"); },
            [](const EnabledChanged& e) { return std::string(elementName(e.element)) + (e.enabled ? " on" : " off"); },
            [](const LabelChanged&) { return std::string("label"); },
            [](const SystemAreaTextChanged&) { return std::string("area"); },
            [](const auto&) { return std::string("other"); },
        },
        c);
    if (order.empty() || order.back() != step) order.push_back(step);
  }
  EXPECT_EQ(order, (std::vector<std::string>{
                       "page 0", "combo 15", "binding", "caption", "texts", "copy list", "rows",
                       "setting page",  // Edit5 := "0", then the Setting page's stored values
                       "chkFwUpgrade=1", "CheckManuupgrade=1", "Upgradebtn on", "chkBarFixed=1",
                       "SystemAreachk=1", "SystemAreaComBo on", "area", "combo 0", "label",
                       "chkParityCheck=1", "area"}));
}

// The close order: preview stopped, prefer.ini, seting.ini, the lock, the frame lists.
TEST_F(StartupTest, FormCloseOrder) {
  std::vector<std::string> steps;
  platform::InstanceCheck check;
  check.lock = std::make_unique<FakeLock>(&releases_, [&] {
    steps.push_back(std::string("lock released with prefer.ini ") +
                    (fs::exists(misc("prefer.ini")) ? "saved" : "missing") + " and seting.ini " +
                    (fs::exists(misc("seting.ini")) ? "saved" : "missing"));
  });
  FormCreate(m(), std::move(check));
  StartupHooks hooks;
  hooks.stopPreview = [&] {
    steps.push_back(std::string("preview stopped, prefer.ini ") +
                    (fs::exists(misc("prefer.ini")) ? "saved" : "not saved yet"));
  };
  hooks.releaseFrameLists = [&] { steps.push_back("frame lists released"); };
  FormShow(m(), hooks);
  ASSERT_TRUE(FormClose(m(), hooks));
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "preview stopped, prefer.ini not saved yet",
                       "lock released with prefer.ini saved and seting.ini saved",
                       "frame lists released"}));

  // A failed save stops the order after the preview: lists and lock stay.
  steps.clear();
  fs::remove(misc("prefer.ini"));
  fs::create_directories(misc("prefer.ini"));
  EXPECT_FALSE(FormClose(m(), hooks));
  EXPECT_EQ(steps, (std::vector<std::string>{"preview stopped, prefer.ini saved"}));
}

TEST_F(StartupTest, LaterStartTouchesNothing) {
  writeFile(misc("port.log"), "E:<--\r\n");
  EXPECT_FALSE(FormCreate(m(), platform::InstanceCheck{}));
  EXPECT_EQ(readFile(misc("port.log")), "E:<--\r\n");
}

TEST_F(StartupTest, CaptionFromLangIniAndFsmBin) {
  writeFile(misc("lang.ini"),
            "[English]\nTitleStr = \"Station\"\nWaitDeviceMsg = \"Idle\"\nDeviceStr = Slot\n");
  std::string fsm(8192, '\0');
  fsm += std::string("FSMv1.2\0tail", 12);
  writeFile(misc("FSM.BIN"), fsm);
  FormCreate(m(), firstInstance());
  FormShow(m());
  if (m().lang(LangText::TitleStr) == "MP3 Mass Production Tool")
    GTEST_SKIP() << "built without the language file reader";
  EXPECT_EQ(m().controls().caption(), "Station (" + stationBuildDate() + ") + FSMv1.2");
  EXPECT_EQ(m().controls().appTitle(), "Station");
  EXPECT_EQ(m().rows().row(7).text, "Idle");
  EXPECT_EQ(m().lang(LangText::FailMsg), "") << "a key the file lacks is empty";
}

// Stored boxes run their click handlers during the load: the system area is computed
// while the combo still stands on "64MB", then the stored "8MB" is applied without a
// handler, and the last step of FormShow finds it too small.
TEST_F(StartupTest, StoredBoxesRunTheirHandlersInLoadingOrder) {
  const fs::path fw = root_ / "fw" / "program.bin";
  fs::create_directories(fw.parent_path());
  std::ofstream(fw).close();
  fs::resize_file(fw, 21 * 1048576);  // (21 MB + 2 MB) x 2 rounds up to 48 MB
  writeFile(misc("seting.ini"), fw.string() + "\r\n");
  writeFile(misc("prefer.ini"),
            "[LCD]\nContrast=7\n[MP_Setting]\nManual Upgrade=1\nSystem Area check=1\n"
            "System Area Size=1\nLabel=my_audio_label\n");
  FormCreate(m(), firstInstance());
  FormShow(m());
  EXPECT_TRUE(m().controls().enabled(Element::Upgradebtn));
  EXPECT_TRUE(m().controls().enabled(Element::SystemAreaComBo));
  EXPECT_EQ(m().controls().edit5(), "7");
  EXPECT_EQ(m().controls().labelText(), "my_audio_label") << "a stored label is used as it stands";
  EXPECT_EQ(areaTexts(), (std::vector<std::string>{
                             "System Area Size: 48MB", "System Area Size: 64MB",  // at 64MB
                             "System Area Size: 48MB", "System Area Size: 8MB",   // last step
                             "System Area Size: 48MB"}));
  EXPECT_EQ(messages_, (std::vector<std::string>{
                           "size is too small: The system area size you set is too small, "
                           "system set to proper size!"}));
  EXPECT_EQ(m().controls().comboIndex(), 11) << "moved to \"48MB\"";
}

TEST_F(StartupTest, CopyListPrunedAtStartAndSavedAtClose) {
  const fs::path a = root_ / "a.mp3", b = root_ / "b.mp3", c = root_ / "c.mp3";
  writeFile(a, "a");
  writeFile(c, "c");
  writeFile(misc("seting.ini"), a.string() + "\r\n" + b.string() + "\n" + c.string() + "\r");
  FormCreate(m(), firstInstance());
  FormShow(m());
  EXPECT_EQ(m().files().copyList(), (std::vector<std::string>{a.string(), c.string()}));
  ASSERT_TRUE(FormClose(m()));
  EXPECT_EQ(readFile(misc("seting.ini")), a.string() + "\r\n" + c.string() + "\r\n");
}

TEST_F(StartupTest, CloseSavesEverythingAndReleasesTheLockEvenWhileRunsGoOn) {
  FormCreate(m(), firstInstance());
  FormShow(m());
  m().controls().setChecked(Check::chkBlankCheck, true);
  m().controls().setComboIndexValue(-1);
  m().controls().setLabelText("abcdefghijk");
  m().rows().runStarted();  // a run in progress is not waited for
  ASSERT_TRUE(FormClose(m()));
  EXPECT_EQ(releases_, 1);
  Settings saved;
  saved.load(misc("prefer.ini").string());
  EXPECT_EQ(saved, m().controls().settings());
  EXPECT_TRUE(saved.chkBlankCheck);
  EXPECT_EQ(saved.SystemAreaComBo, -1);
  EXPECT_EQ(saved.LabelEdit, "ABCDEFGHIJK");
  EXPECT_TRUE(fs::exists(misc("seting.ini")));
}

TEST_F(StartupTest, UnwritableSettingsKeepTheWindowOpen) {
  FormCreate(m(), firstInstance());
  FormShow(m());
  writeFile(misc("seting.ini"), "as it was\r\n");
  fs::create_directories(misc("prefer.ini"));  // cannot be replaced by a file
  m().files().setCopyList({});
  EXPECT_FALSE(FormClose(m()));
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_.back(), std::string("MP3 Mass Production Tool: Unable to write to ") + kPreferIniPath);
  EXPECT_EQ(readFile(misc("seting.ini")), "as it was\r\n") << "the rest of the close order waits";
  EXPECT_EQ(releases_, 0);
  EXPECT_TRUE(m().instanceLockHeld());

  fs::remove(misc("prefer.ini"));
  EXPECT_TRUE(FormClose(m())) << "a later close can succeed";
  EXPECT_EQ(releases_, 1);
}

TEST_F(StartupTest, UntickingBarFixedBindsEverySlotToItsOwnRow) {
  FormCreate(m(), firstInstance());
  FormShow(m());
  changes_.clear();
  m().controls().setChecked(Check::chkBarFixed, false);
  chkBarFixedClick(m());
  ASSERT_FALSE(changes_.empty());
  EXPECT_TRUE(std::holds_alternative<SlotsRebound>(changes_.back()));
  for (int i = 0; i < DEVICE_COUNT; ++i) EXPECT_EQ(m().rows().rowOfSlot(i), i);
  changes_.clear();
  m().controls().setChecked(Check::chkBarFixed, true);
  chkBarFixedClick(m());
  EXPECT_EQ(changes_.size(), 1u) << "ticking changes nothing but the box";
}

}  // namespace
}  // namespace station::testing

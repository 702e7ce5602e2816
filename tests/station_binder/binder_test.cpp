// The window description's rules and the binder on a recording front end (no toolkit).
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "support/model_fixture.h"
#include "support/recording_front_end.h"
#include "station/window/binder.h"
#include "station/window/window_description.h"
#include "station/window/preview_window.h"

namespace station::testing {
namespace {

TEST(WindowDescription, NamesAreUniqueAndParentsComeFirst) {
  std::set<std::string> seen;
  for (const WindowDesc* w : {&mainWindowDesc(), &previewWindowDesc()}) {
    EXPECT_EQ(w->window().kind, ControlKind::Window);
    EXPECT_TRUE(w->window().parent.empty());
    for (const ElementDesc& e : w->elements) {
      EXPECT_TRUE(seen.insert(e.name).second) << "two elements named " << e.name;
      if (&e != &w->window()) {
        EXPECT_TRUE(seen.count(e.parent)) << e.name << " before its parent " << e.parent;
      }
    }
  }
}

TEST(WindowDescription, EveryModelNameHasItsElement) {
  const WindowDesc& d = mainWindowDesc();
  for (int i = 0; i < kCheckCount; ++i) {
    const ElementDesc* e = d.find(checkName(static_cast<Check>(i)));
    ASSERT_NE(e, nullptr) << checkName(static_cast<Check>(i));
    EXPECT_EQ(e->kind, ControlKind::CheckBox);
    EXPECT_EQ(e->handler, Handler::CheckBoxClick);
  }
  for (int i = 0; i < kElementCount; ++i)
    EXPECT_NE(d.find(enabledElementName(static_cast<Element>(i))), nullptr) << i;
  // The eight rows from one template: 32 pixels apart, the same cells.
  for (int row = 0; row < DEVICE_COUNT; ++row) {
    for (RowCell cell : {RowCell::Port, RowCell::Label, RowCell::Status, RowCell::Bar, RowCell::Picture, RowCell::Spare}) {
      const ElementDesc* e = d.find(rowCellName(cell, row));
      ASSERT_NE(e, nullptr) << rowCellName(cell, row);
      EXPECT_EQ(e->geometry.y, 216 + 32 * row) << e->name;
      EXPECT_EQ(e->geometry.x, d.find(rowCellName(cell, 0))->geometry.x) << e->name;
    }
  }
}

class BinderTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    binder_ = std::make_unique<Binder>(m(), fe_);
    binder_->create(mainWindowDesc());
    binder_->renderAll();
    binder_->attach();
    fe_.calls.clear();
  }
  void TearDown() override {
    binder_.reset();
    ModelTest::TearDown();
  }
  RecordingFrontEnd fe_;
  std::unique_ptr<Binder> binder_;
};

TEST_F(BinderTest, EveryDescribedElementIsMadeWithItsCaption) {
  RecordingFrontEnd fresh;
  Binder b(m(), fresh);
  b.create(mainWindowDesc());
  b.renderAll();
  EXPECT_EQ(fresh.created.size(), mainWindowDesc().elements.size());
  for (const char* call : {"text AddFilesBtn=Add files...", "text StaticText9=Device 8: ", "text LabelStatic=Label:",
                           "text Button6=Apply", "text D1infoStr=Waiting device...", "enabled Upgradebtn=0",
                           "enabled tabSetting=0", "checked chkFwUpgrade=0", "text LabelEdit=MY_AUDIO",
                           "value SystemAreaComBo=0", "text TotalStr=0"})
    EXPECT_TRUE(fresh.has(call)) << call;
}

TEST_F(BinderTest, ChangesBecomePropertiesByName) {
  struct Case {
    const char* name;
    std::function<void(StationModel&)> change;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"status text", [](StationModel& m) { m.rows().setStatusText(2, "Format fail", TextColour::Red); },
       {"text D3infoStr=Format fail", "colour D3infoStr=red", "value ProgressBar3=0", "visible ProgressBar3=0"}},
      {"progress", [](StationModel& m) { m.rows().setProgress(7, 140); }, {"value ProgressBar8=100"}},
      {"tally", [](StationModel& m) { m.rows().runStarted(); m.rows().runEnded(false); },
       {"enabled grpFileList=0", "text TotalStr=1", "text SuccessStr=0", "text FailStr=1", "enabled grpFileList=1"}},
      {"check box", [](StationModel& m) { m.controls().setChecked(Check::chkFormat, true); }, {"checked chkFormat=1"}},
      {"label", [](StationModel& m) { m.controls().setLabelText("\xe9t\xe9", false); }, {"text LabelEdit=\xc3\xa9t\xc3\xa9"}},
      {"copy list", [](StationModel& m) { m.files().setCopyList({"a", "b"}); m.files().setSelection({1}); },
       {"items SelectFileList2=2/0", "items SelectFileList2=2/1"}},
      {"page state", [](StationModel& m) { m.controls().setSettingPageState({"p.dat", false, true, true}); },
       {"text Edit9=p.dat", "enabled Button2=0", "enabled Button5=1", "enabled Button6=1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fe_.calls.clear();
    c.change(m());
    for (const std::string& call : c.calls) EXPECT_TRUE(fe_.has(call)) << call;
  }
}

TEST_F(BinderTest, InputRunsTheDescribedHandler) {
  binder_->toggled("CheckManuupgrade", true);
  EXPECT_TRUE(m().controls().checked(Check::CheckManuupgrade));
  EXPECT_TRUE(fe_.has("enabled Upgradebtn=1")) << "its click handler ran";
  binder_->edited("LabelEdit", "abc\xc3\xa9");
  EXPECT_EQ(m().controls().labelText(), "ABC\xe9") << "typed text in single bytes, upper-cased";
  binder_->toggled("Upgradebtn", true);  // not a check box: nothing happens
  binder_->clicked("NoSuchElement");
  EXPECT_FALSE(m().controls().checked(Check::chkFormat));

  fe_.files = std::vector<std::string>{"x.mp3"};
  binder_->clicked("AddFilesBtn");
  EXPECT_TRUE(fe_.has("choose files Select files"));
  EXPECT_EQ(m().files().copyList(), std::vector<std::string>{"x.mp3"});
}

TEST_F(BinderTest, AnErrorInAHandlerBecomesAMessage) {
  m().setRunStarter([](char) { throw std::runtime_error("no worker"); });
  m().controls().setChecked(Check::CheckManuupgrade, true);
  ASSERT_GE(m().rows().occupySlot('E'), 0);
  m().rows().registerSlot(0, m().lang(LangText::DevicePluginStr));
  m().controls().setEnabled(Element::Upgradebtn, true);
  binder_->clicked("Upgradebtn");
  EXPECT_TRUE(fe_.has("message MP3 Tool: no worker"));
}

}  // namespace
}  // namespace station::testing

namespace station {
namespace {

// The preview window on any front end: Play runs on the window's timer, every stop
// source ends it, and a Preview shows the window without starting the loop.
TEST(PreviewWindow, PlayRunsOnTheWindowsTimerUntilAStop) {
  testing::RecordingFrontEnd fe;
  int loads = 0;
  PreviewWindow preview(fe, [&](const std::string&) -> std::optional<Picture> {
    ++loads;
    return Picture{1, 1, {0xFF0000}};
  });
  PreviewSource source;
  source.startupFolder = "frames";
  for (int i = 1; i <= 10; ++i) source.startupList.push_back("boot" + std::to_string(i) + ".bmp");
  preview.setSource([&] { return source; });

  EXPECT_FALSE(preview.clicked("Button2")) << "not the preview's own button";
  preview.Button2Click();
  EXPECT_TRUE(fe.has("visible frmBmpPreview=1"));
  EXPECT_FALSE(preview.timerActive());

  EXPECT_TRUE(preview.clicked("btnPlay"));
  EXPECT_TRUE(preview.timerActive());
  EXPECT_TRUE(fe.has("timer frmBmpPreview=" + std::to_string(PreviewWindow::kFrameMs)));
  const int before = loads;
  fe.tick();
  EXPECT_EQ(loads, before + 1) << "each tick shows the next frame";

  preview.stopRequest();
  EXPECT_FALSE(preview.timerActive());
  EXPECT_TRUE(fe.has("timer frmBmpPreview=0"));
  fe.calls.clear();
  preview.clicked("btnStop");
  EXPECT_FALSE(fe.has("timer frmBmpPreview=0")) << "a stopped timer is not stopped again";
}

}  // namespace
}  // namespace station

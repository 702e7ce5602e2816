// The window description's rules and the binder on a recording front end (no toolkit).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <variant>

#include "support/model_fixture.h"
#include "support/recording_front_end.h"
#include "platform/program_folder.h"
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
    EXPECT_EQ(e->shows, Shows::Checked);
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

// The description is the one mapping from model values to element names: each value has
// its element (once, or once per row), and each handler sits on a control that gives the
// input it takes.
TEST(WindowDescription, EachModelValueHasItsOneElement) {
  std::vector<const ElementDesc*> all;
  for (const WindowDesc* w : {&mainWindowDesc(), &previewWindowDesc()})
    for (const ElementDesc& e : w->elements) all.push_back(&e);
  auto count = [&](auto matches) { return std::count_if(all.begin(), all.end(), [&](auto* e) { return matches(*e); }); };

  for (int i = 0; i < kCheckCount; ++i) {
    const Check c = static_cast<Check>(i);
    EXPECT_EQ(count([&](const ElementDesc& e) { return e.check == c && e.shows == Shows::Checked; }), 1) << checkName(c);
  }
  for (int i = 0; i < kElementCount; ++i) {
    const Element m = static_cast<Element>(i);
    EXPECT_EQ(count([&](const ElementDesc& e) { return e.enabledBy == EnabledBy::Model && e.enabler == m; }), 1) << i;
  }
  for (EnabledBy by : {EnabledBy::StartupPreview, EnabledBy::ShutdownPreview, EnabledBy::Apply})
    EXPECT_EQ(count([&](const ElementDesc& e) { return e.enabledBy == by; }), 1) << static_cast<int>(by);

  const std::set<Shows> perRow = {Shows::RowPort, Shows::RowStatus, Shows::RowProgress, Shows::RowPicture, Shows::RowSpare};
  for (int v = static_cast<int>(Shows::Caption); v <= static_cast<int>(Shows::PreviewFrame); ++v) {
    const Shows shows = static_cast<Shows>(v);
    if (shows == Shows::Checked) continue;
    if (perRow.count(shows)) {
      for (int row = 0; row < DEVICE_COUNT; ++row)
        EXPECT_EQ(count([&](const ElementDesc& e) { return e.shows == shows && e.row == row; }), 1) << v << " row " << row;
    } else {
      EXPECT_EQ(count([&](const ElementDesc& e) { return e.shows == shows; }), 1) << v;
    }
  }
}

// The names that the settings, the Windows self-check, the headless trace and commands
// rely on, found from the domain words.
TEST(WindowDescription, DomainWordsFindTheContractNames) {
  const std::pair<std::string, std::string> names[] = {
      {elementShowing(Shows::Total), "TotalStr"},
      {elementShowing(Shows::Fail), "FailStr"},
      {elementShowing(Shows::RowStatus, 0), "D1infoStr"},
      {elementShowing(Shows::RowPort, 7), "TextP8"},
      {elementShowing(Shows::VolumeLabel), "LabelEdit"},
      {elementShowing(Shows::SystemAreaText), "labSystemArea"},
      {elementShowing(Shows::ChosenPackage), "Edit9"},
      {elementShowing(Shows::PreviewFrame), "Image1"},
      {elementShowing(Shows::RowStatus), ""},  // a row cell needs its row
      {elementCalling(Handler::AddFiles), "AddFilesBtn"},
      {elementCalling(Handler::StartUpgrade), "Upgradebtn"},
      {elementCalling(Handler::ApplyPackage), "Button6"},
      {elementCalling(Handler::Play), "btnPlay"},
      {checkName(Check::chkFormat), "chkFormat"},
      {checkName(Check::SystemAreachk), "SystemAreachk"},
      {enabledElementName(Element::tabSetting), "tabSetting"},
      {enabledElementName(Element::grpMPSetting), "grpMPSetting"},
  };
  for (const auto& [found, name] : names) EXPECT_EQ(found, name);
}

TEST(WindowDescription, EachHandlerSitsOnAControlThatGivesItsInput) {
  const std::pair<Handler, ControlKind> notButtons[] = {
      {Handler::ToggleOption, ControlKind::CheckBox},         {Handler::ChooseSystemAreaSize, ControlKind::ComboBox},
      {Handler::EditLabel, ControlKind::LineEdit},            {Handler::SelectCopyItems, ControlKind::ListBox},
      {Handler::ChooseFm, ControlKind::ComboBox},             {Handler::ChoosePlayerLanguage, ControlKind::ComboBox},
      {Handler::ChooseContrast, ControlKind::TrackBar},
  };
  std::set<Handler> seen;
  for (const WindowDesc* w : {&mainWindowDesc(), &previewWindowDesc()})
    for (const ElementDesc& e : w->elements) {
      if (e.handler == Handler::None) continue;
      ControlKind want = ControlKind::Button;
      for (auto [handler, kind] : notButtons)
        if (handler == e.handler) want = kind;
      EXPECT_EQ(e.kind, want) << e.name;
      EXPECT_TRUE(seen.insert(e.handler).second || e.handler == Handler::ToggleOption) << "second " << e.name;
      EXPECT_EQ(e.handler == Handler::ToggleOption, e.check.has_value()) << e.name;
    }
  EXPECT_EQ(seen.size(), static_cast<size_t>(Handler::Stop)) << "every handler but None has its element";
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

// Every kind of change record reaches exactly the elements that show what it carries.
TEST_F(BinderTest, EveryKindOfChangeReachesItsElements) {
  static_assert(std::variant_size_v<Change> == 15, "a new kind of change needs its case here");
  Settings page;
  page.frameWidth = "128";
  page.startupFolder = "up";
  page.shutdownFolder = "down";
  page.frameHeight = "64";
  page.fmSelection = 1;
  page.playerLanguage = 2;
  page.contrast = 6;
  const RowState done{"ok", TextColour::Blue, 40, true, StatusPicture::Success, true, "P2", "x"};
  struct Case {
    Change change;
    std::vector<std::string> calls;
    bool only = true;  // no other call
  };
  const Case cases[] = {
      {RowChanged{0, 3, done},
       {"text D4infoStr=ok", "tip D4infoStr=ok", "colour D4infoStr=blue", "value ProgressBar4=40",
        "visible ProgressBar4=1", "picture infoImage4=" + miscPath("success.bmp"), "visible infoImage4=1",
        "text TextP4=P2", "text TextF4=x"}},
      {CountersChanged{{5, 3, 2, 1, 1}}, {"text TotalStr=5", "text SuccessStr=3", "text FailStr=2"}},
      {EnabledChanged{Element::SystemAreaComBo, true}, {"enabled SystemAreaComBo=1"}},
      {EnabledChanged{Element::chkBarFixed, false}, {"enabled chkBarFixed=0"}},
      {CheckedChanged{Check::chkParityCheck, true}, {"checked chkParityCheck=1"}},
      {ComboIndexChanged{7}, {"value SystemAreaComBo=7"}},
      {LabelChanged{"ABC"}, {"text LabelEdit=ABC"}},
      {CopyListChanged{{"a", "b", "c"}, {2}}, {"items SelectFileList2=3/1"}},
      {SystemAreaTextChanged{"Size: 8MB"}, {"text labSystemArea=Size: 8MB"}},
      {CaptionChanged{"MP3 Tool v1", "MP3 Tool"}, {"text Form1=MP3 Tool v1"}},
      {TextsLoaded{}, {"text AddFilesBtn=Add files...", "text StaticText9=Device 8: "}, false},
      {SettingsPageChanged{page, "5"},
       {"text Edit1=128", "text Edit2=up", "text Edit4=down", "text Edit5=5", "text Edit6=64", "value ComboBox1=1",
        "value ComboBox3=2", "value TrackBar1=6"}},
      {PageStateChanged{{"p.dat", false, true, true}},
       {"text Edit9=p.dat", "enabled Button2=0", "enabled Button5=1", "enabled Button6=1"}},
      {PageChanged{1}, {"value PageControl=1"}},
      {MessageAsked{}, {}},  // the message handler shows it
      {SlotsRebound{}, {"text D1infoStr=Waiting device...", "text D8infoStr=Waiting device..."}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change.index());
    fe_.calls.clear();
    binder_->apply(c.change);
    for (const std::string& call : c.calls) EXPECT_TRUE(fe_.has(call)) << call;
    if (c.only) {
      EXPECT_EQ(fe_.calls.size(), c.calls.size());
    }
  }
}

// The whole model at start: every element that shows a value or follows an enabled state
// gets it.
TEST_F(BinderTest, RenderAllPutsEveryShownValue) {
  RecordingFrontEnd fresh;
  Binder b(m(), fresh);
  b.create(mainWindowDesc());
  b.renderAll();
  // A call is recorded as "<property> <name>=<value>".
  auto touched = [&](const std::string& name, const std::string& property) {
    return std::any_of(fresh.calls.begin(), fresh.calls.end(), [&](const std::string& call) {
      const size_t space = call.find(' ');
      return call.compare(space + 1, name.size() + 1, name + "=") == 0 &&
             (property.empty() || call.compare(0, space, property) == 0);
    });
  };
  for (const ElementDesc& e : mainWindowDesc().elements) {
    if (e.shows != Shows::Nothing) {
      EXPECT_TRUE(touched(e.name, "")) << e.name;
    }
    if (e.enabledBy != EnabledBy::Nothing) {
      EXPECT_TRUE(touched(e.name, "enabled")) << e.name;
    }
  }
}

TEST_F(BinderTest, InputRunsTheDescribedHandler) {
  binder_->toggled("CheckManuupgrade", true);
  EXPECT_TRUE(m().controls().checked(Check::CheckManuupgrade));
  EXPECT_TRUE(fe_.has("enabled Upgradebtn=1")) << "its click handler ran";
  binder_->edited("LabelEdit", "abc\xc3\xa9");
  EXPECT_EQ(m().controls().labelText(), "ABC\xe9") << "typed text in single bytes, upper-cased";
  binder_->toggled("SystemAreachk", true);
  EXPECT_TRUE(fe_.has("enabled SystemAreaComBo=1")) << "each box runs its own click rule";
  binder_->toggled("chkFormat", true);
  EXPECT_TRUE(m().controls().checked(Check::chkFormat)) << "a box without a rule";
  binder_->toggled("chkFormat", false);

  // Input of a kind the element's handler does not take does nothing.
  fe_.calls.clear();
  binder_->toggled("Upgradebtn", true);
  binder_->clicked("chkFormat");
  binder_->chosen("AddFilesBtn", 0);
  binder_->edited("SystemAreaComBo", "3");
  binder_->selected("LabelEdit", {0});
  binder_->clicked("NoSuchElement");
  EXPECT_FALSE(m().controls().checked(Check::chkFormat));
  EXPECT_TRUE(fe_.calls.empty());

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
  preview.showStartup();
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

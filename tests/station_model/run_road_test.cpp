#include <atomic>
#include <functional>
#include <thread>

#include "support/model_fixture.h"
#include "station/window/window_description.h"

namespace station::testing {
namespace {

// Each setting a run reads is its own box, read at the moment it is asked for.
TEST_F(ModelTest, RunSettingsReadTheirOwnBoxWhenAsked) {
  RunSettings& s = m().runSettings();
  struct Case {
    Check box;
    std::function<bool()> read;
  };
  const Case cases[] = {
      {Check::chkFormat, [&] { return s.format(); }},
      {Check::chkFwUpgrade, [&] { return s.firmwareUpgrade(); }},
      {Check::chkISOupgrade, [&] { return s.isoUpgrade(); }},
      {Check::chkParityCheck, [&] { return s.parityCheck(); }},
      {Check::chkBlankCheck, [&] { return s.blankCheck(); }},
      {Check::SystemAreachk, [&] { return s.systemAreaFixed(); }},
  };
  for (const Case& ticked : cases) {
    for (const Case& c : cases) m().controls().setChecked(c.box, c.box == ticked.box);
    for (const Case& c : cases)
      EXPECT_EQ(c.read(), c.box == ticked.box) << checkName(ticked.box) << " ticked, read "
                                               << checkName(c.box);
  }
  m().controls().setLabelText("tarn");
  m().files().setCopyList({"a.mp3"});
  m().files().setSdkBondingId(0x107);
  EXPECT_EQ(s.label(), "TARN");
  EXPECT_EQ(s.copyList(), std::vector<std::string>{"a.mp3"});
  EXPECT_EQ(s.sdkBondingId(), 7);

  s.setSystemAreaIndex(3);
  EXPECT_EQ(s.systemAreaIndex(), 3);
  EXPECT_EQ(m().controls().comboIndex(), 3) << "the raised size is the operator's combo";
  ASSERT_FALSE(changesOf<ComboIndexChanged>().empty());
  EXPECT_EQ(changesOf<ComboIndexChanged>().back().index, 3);
}

// What a run reports lands on the row of its slot and on the station's lines.
TEST_F(ModelTest, ReportsLandOnTheSlotsRow) {
  ASSERT_EQ(m().rows().occupySlot('E'), 0);
  ASSERT_EQ(m().rows().occupySlot('F'), 1);
  RunReporter& r = m().reporter();
  EXPECT_EQ(r.slotDrive(1), 'F');
  EXPECT_EQ(r.slotDrive(2), 0);
  r.setStatus(1, "Format fail", TextColour::Red);
  r.setProgress(1, 140);
  r.setPortCell(1, "Port:0-5");
  r.setFlashName(1, "K9G8G08 x 2");
  r.setSystemAreaSize("System Area Size: 8MB");
  r.appendPortLog("F: Start");

  RowState row = m().rows().slotRow(1);
  EXPECT_EQ(row.text, "Format fail");
  EXPECT_EQ(row.colour, TextColour::Red);
  EXPECT_EQ(row.progress, 100);
  EXPECT_EQ(row.port, "Port:0-5");
  EXPECT_EQ(r.portCell(1), "Port:0-5");
  EXPECT_EQ(row.spare, "K9G8G08 x 2");
  RowState untouched;
  untouched.text = "Waiting device...";
  untouched.progressVisible = true;
  EXPECT_EQ(m().rows().slotRow(0), untouched) << "the other slot's row";
  EXPECT_EQ(m().controls().systemAreaText(), "System Area Size: 8MB");
  EXPECT_EQ(r.text(LangText::FailMsg), "fail");
  EXPECT_EQ(portLog(), std::vector<std::string>{"F: Start"});
}

// The parts share one lock and one stream: records of all parts arrive in the order the
// changes were made, and a listener is never entered twice at once.
TEST_F(ModelTest, PartsShareOneOrderedStream) {
  m().rows().setStatusText(0, "x", TextColour::WindowText);
  m().files().setCopyList({"a"});
  m().controls().setChecked(Check::chkFormat, true);
  m().reporter().runStarted();
  m().runSettings().setSystemAreaIndex(2);
  std::vector<size_t> kinds;
  for (const Change& c : changes_) kinds.push_back(c.index());
  const std::vector<size_t> want = {Change(RowChanged{}).index(), Change(CopyListChanged{}).index(),
                                    Change(CheckedChanged{}).index(), Change(CountersChanged{}).index(),
                                    Change(EnabledChanged{}).index(), Change(EnabledChanged{}).index(),
                                    Change(ComboIndexChanged{}).index()};
  EXPECT_EQ(kinds, want);

  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  m().addListener([&](const Change&) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    std::this_thread::yield();
    inside.fetch_sub(1);
  });
  std::thread rows([&] {
    for (int i = 0; i < 300; ++i) m().rows().setProgress(i % DEVICE_COUNT, i % 100);
  });
  std::thread files([&] {
    for (int i = 0; i < 300; ++i) m().files().appendCopyItems({"f"});
  });
  for (int i = 0; i < 300; ++i) m().controls().setLabelText(i % 2 ? "A" : "B");
  rows.join();
  files.join();
  EXPECT_FALSE(overlapped) << "two parts published at once";
}

}  // namespace
}  // namespace station::testing

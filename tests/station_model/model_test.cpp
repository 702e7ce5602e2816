#include <condition_variable>
#include <thread>

#include "support/model_fixture.h"

namespace station::testing {
namespace {

// The window as its definition has it, before FormShow puts anything on it.
TEST_F(ModelTest, WindowDefinitionStatesBeforeFormShow) {
  EXPECT_EQ(m().controls().caption(), "MP3 Tool");
  EXPECT_EQ(m().controls().systemAreaText(), "System Area Size:");
  EXPECT_EQ(m().controls().labelText(), "MY_AUDIO");
  EXPECT_EQ(m().controls().comboIndex(), 0) << "\"4MB\"";
  EXPECT_EQ(m().rows().counters(), Counters{});
  EXPECT_EQ(m().files().sdkBondingId(), 0);
  for (int r = 0; r < DEVICE_COUNT; ++r) {
    RowState row = m().rows().row(r);
    EXPECT_EQ(row.text, "Waiting device...") << "row " << r + 1;
    EXPECT_EQ(row.colour, TextColour::WindowText);
    EXPECT_FALSE(row.progressVisible);
    EXPECT_EQ(row.progress, 0);
    EXPECT_FALSE(row.pictureVisible);
    EXPECT_EQ(m().rows().slotDriveLetter(r), 0);
  }
  const std::pair<Check, bool> boxes[] = {
      {Check::chkFormat, false},        {Check::chkBlankCheck, false},
      {Check::chkISOupgrade, false},    {Check::chkEraseAll, false},
      {Check::CheckManuupgrade, false}, {Check::chkFwUpgrade, false},
      {Check::SystemAreachk, false},    {Check::chkParityCheck, false}};
  for (auto [box, ticked] : boxes) EXPECT_EQ(m().controls().checked(box), ticked) << checkName(box);
  const std::pair<Element, bool> elements[] = {
      {Element::grpFileList, true},      {Element::grpMPSetting, true},
      {Element::chkBarFixed, true},      {Element::CheckManuupgrade, true},
      {Element::Upgradebtn, false},      {Element::SystemAreaComBo, false},
      {Element::chkEraseAll, false},     {Element::tabSetting, false}};
  for (auto [element, on] : elements) EXPECT_EQ(m().controls().enabled(element), on) << elementName(element);
}

// Eight workers make the row updates of a run each, concurrently, with the window thread
// reading the rows meanwhile: every slot's records arrive in the order its run made them,
// and the counters come out exact.
TEST_F(ModelTest, ConcurrentRunsKeepPerRunOrderAndExactCounts) {
  constexpr int kRunsPerSlot = 25, kSteps = 40;
  std::vector<std::vector<int>> seen(DEVICE_COUNT);
  std::vector<Counters> tallies;
  model_->addListener([&](const Change& change) {
    if (const auto* c = std::get_if<CountersChanged>(&change)) tallies.push_back(c->counters);
    const auto* c = std::get_if<RowChanged>(&change);
    if (!c || c->state.text.rfind("step ", 0) != 0) return;
    int n = std::stoi(c->state.text.substr(5));
    if (seen[c->slot].empty() || seen[c->slot].back() != n) seen[c->slot].push_back(n);
  });
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int slot = 0; slot < DEVICE_COUNT; ++slot) {
    workers.emplace_back([&, slot] {
      while (!go) std::this_thread::yield();
      for (int run = 0; run < kRunsPerSlot; ++run) {
        m().rows().runStarted();
        for (int step = 0; step < kSteps; ++step) {
          int n = run * kSteps + step;
          m().rows().setStatusText(slot, "step " + std::to_string(n), TextColour::WindowText);
          m().rows().setProgress(slot, step);
        }
        m().rows().runEnded(slot % 2 == 0);  // even slots succeed
      }
    });
  }
  go = true;
  for (int i = 0; i < 200; ++i) (void)m().rows().slotRow(i % DEVICE_COUNT).text;  // the window reads
  for (auto& w : workers) w.join();

  for (int slot = 0; slot < DEVICE_COUNT; ++slot) {
    ASSERT_EQ(seen[slot].size(), size_t(kRunsPerSlot * kSteps)) << "slot " << slot;
    for (int i = 0; i < kRunsPerSlot * kSteps; ++i) ASSERT_EQ(seen[slot][i], i) << "slot " << slot;
  }
  Counters end = m().rows().counters();
  EXPECT_EQ(end.total, DEVICE_COUNT * kRunsPerSlot);
  EXPECT_EQ(end.success, DEVICE_COUNT / 2 * kRunsPerSlot);
  EXPECT_EQ(end.fail, DEVICE_COUNT / 2 * kRunsPerSlot);
  EXPECT_EQ(end.running, 0);
  EXPECT_TRUE(m().controls().enabled(Element::grpFileList));
  EXPECT_TRUE(m().controls().enabled(Element::grpMPSetting));
  // Each counter record is a consistent snapshot, and the total only ever grows by one.
  int lastTotal = 0;
  for (const Counters& c : tallies) {
    EXPECT_EQ(c.fail, c.total - c.success);
    EXPECT_GE(c.running, 0);
    EXPECT_TRUE(c.total == lastTotal || c.total == lastTotal + 1);
    lastTotal = c.total;
  }
}

// The groups stay disabled until the last of several runs ends.
TEST_F(ModelTest, GroupsComeBackWhenTheLastRunEnds) {
  struct Step { bool start; bool success; int running; bool groups; int total; int ok; };
  const Step steps[] = {
      {true, false, 1, false, 0, 0},  {true, false, 2, false, 0, 0},
      {false, true, 1, false, 1, 1},  {false, false, 0, true, 2, 1},
      {false, true, 0, true, 3, 2},   // an extra end holds the count at 0
  };
  for (const Step& s : steps) {
    if (s.start) m().rows().runStarted();
    else m().rows().runEnded(s.success);
    Counters c = m().rows().counters();
    EXPECT_EQ(c.running, s.running);
    EXPECT_EQ(c.total, s.total);
    EXPECT_EQ(c.success, s.ok);
    EXPECT_EQ(c.fail, s.total - s.ok);
    EXPECT_EQ(m().controls().enabled(Element::grpFileList), s.groups);
    EXPECT_EQ(m().controls().enabled(Element::grpMPSetting), s.groups);
  }
}

// Texts by their table entry, keyed in lang.ini or not; each entry's name is its own.
TEST_F(ModelTest, TextsByEntry) {
  struct Case { LangText id; const char* name; const char* text; };
  const Case cases[] = {
      {LangText::WaitDeviceMsg, "WaitDeviceMsg", "Waiting device..."},
      {LangText::FailMsg, "FailMsg", "fail"},
      {LangText::BlankingCheckStr, "BlankingCheckStr", "Blanking Check"},
      {LangText::FlashWriteSetup, "FlashWriteSetup", "FLASH Write Setup"},
      {LangText::FlashEnd, "FlashEnd", "FLASH End"},
      {LangText::BlankingCheckSetup, "BlankingCheckSetup", "Blanking Check Setup"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(m().reporter().text(c.id), c.text) << c.name;
    EXPECT_STREQ(langName(c.id), c.name);
  }
}

TEST_F(ModelTest, PicturesNeedTheirFileAndAHeldSlot) {
  struct Case { bool file; char drive; bool shown; };
  const Case cases[] = {{true, 'E', true}, {false, 'E', false}, {true, 0, false}};
  fs::current_path(root_);
  for (const Case& c : cases) {
    fs::remove(root_ / "misc" / "success.bmp");
    if (c.file) writeFile(root_ / "misc" / "success.bmp", "BM");
    m().rows().freeAllSlots();
    m().rows().hidePicture(0);
    if (c.drive) {
      ASSERT_EQ(m().rows().occupySlot(c.drive), 0);
    }
    m().rows().showPicture(0, StatusPicture::Success);
    RowState r = m().rows().row(0);
    EXPECT_EQ(r.pictureVisible, c.shown) << c.file << " " << int(c.drive);
    if (c.shown) {
      EXPECT_EQ(r.picture, StatusPicture::Success);
    }
  }
}

// The common end of a failed run puts the row back to waiting only when its slot was
// released and its text is red.
TEST_F(ModelTest, ResetRowIfReleased) {
  struct Case { char holder; TextColour colour; bool reset; };
  const Case cases[] = {
      {'E', TextColour::Red, false},  // still its own slot
      {0, TextColour::Red, true},     // freed
      {'F', TextColour::Red, true},   // taken by another player
      {0, TextColour::Blue, false},   // not a failure text
  };
  for (const Case& c : cases) {
    m().rows().freeAllSlots();
    if (c.holder) m().rows().occupySlot(c.holder);
    m().rows().setStatusText(0, "Format fail", c.colour);
    m().rows().resetRowIfReleased(0, 'E');
    EXPECT_EQ(m().rows().slotRow(0).text, c.reset ? "Waiting device..." : "Format fail");
    EXPECT_EQ(m().rows().slotRow(0).colour, c.reset ? TextColour::WindowText : c.colour);
  }
}

// Every change is one record, and the record carries the row's values after it.
TEST_F(ModelTest, ChangeRecordsCarryTheNewValues) {
  changes_.clear();
  m().rows().setStatusText(3, "FILE Writing...", TextColour::WindowText);
  m().rows().setProgress(3, 140);
  m().rows().setStatusColour(3, TextColour::Red);
  m().rows().setPortCell(3, "Port:0-4");
  ASSERT_EQ(changes_.size(), 4u);
  const std::vector<RowChanged> rows = changesOf<RowChanged>();
  ASSERT_EQ(rows.size(), 4u) << "every record is a row's";
  for (const RowChanged& c : rows) {
    EXPECT_EQ(c.slot, 3);
    EXPECT_EQ(c.row, 3);
  }
  EXPECT_EQ(rows[1].state.progress, 100) << "held to the bar's range";
  EXPECT_EQ(rows[2].state.text, "FILE Writing...");
  EXPECT_EQ(rows[2].state.colour, TextColour::Red);
  EXPECT_EQ(rows[3].state.port, "Port:0-4");
  EXPECT_EQ(m().rows().slotRow(3).port, "Port:0-4");
}

TEST_F(ModelTest, LabelTypedIsUpperCaseAndAtMostElevenCharacters) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"my_audio", true, "MY_AUDIO"},
      {"abcdefghijklmno", true, "ABCDEFGHIJK"},
      {"abcdefghijklmno", false, "abcdefghijklmno"},  // a stored label stands as it is
      {"", true, ""},
  };
  for (auto [in, typed, out] : cases) {
    m().controls().setLabelText(in, typed);
    EXPECT_EQ(m().controls().labelText(), out);
  }
}

TEST_F(ModelTest, MessagesBlockTheAskerUntilAnswered) {
  std::mutex mu;
  std::condition_variable cv;
  bool asked = false, answer = false, returned = false;
  m().setMessageHandler([&](const ModalMessage&) {
    std::unique_lock<std::mutex> lock(mu);
    asked = true;
    cv.notify_all();
    cv.wait(lock, [&] { return answer; });
  });
  std::thread worker([&] {
    m().showMessage("Exceed USB Port limitation", "fail", MessageIcon::None);
    std::lock_guard<std::mutex> lock(mu);
    returned = true;
    cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(mu);
  cv.wait(lock, [&] { return asked; });
  EXPECT_FALSE(returned);
  m().rows().setStatusText(1, "other rows go on", TextColour::WindowText);  // the model is not held
  answer = true;
  cv.notify_all();
  cv.wait(lock, [&] { return returned; });
  lock.unlock();
  worker.join();
}

TEST_F(ModelTest, PumpRunsOnlyOnTheWindowThread) {
  std::atomic<int> pumps{0};
  m().setPumpHook([&] { ++pumps; });
  m().pump();
  std::thread([&] { m().pump(); }).join();
  EXPECT_EQ(pumps, 1);
}

}  // namespace
}  // namespace station::testing

// The Setting page's logic on plain values: folder checks, package choice, Apply, Cancel.
#include "fixture.h"

#include "station/settings/frame_set.h"
#include "station/settings/prefer_package_page.h"

namespace station::test {
namespace {

class PageTest : public ScratchTest {
 protected:
  std::unique_ptr<SettingPage> make(SettingPageState initial = {}) {
    SettingPageDeps d;
    d.values = [this] { return values_; };
    d.setValues = [this](const Settings& s) { values_ = s; };
    d.setEdit5 = [this](const std::string& t) { events_.push_back("Edit5=" + t); };
    d.loader = loader();
    d.chooseFolder = [this] { return answer_; };
    d.choosePackage = [this] { return answer_; };
    d.message = [this](const std::string& t, const std::string& c) { events_.push_back(c + ": " + t); };
    d.stopPreview = [this] { events_.push_back("stop"); };
    d.closeMainWindow = [this] { events_.push_back("close main"); };
    d.closePreview = [this] { events_.push_back("close preview"); };
    d.newPackagePath = (root_ / "new.dat").string();
    return std::make_unique<SettingPage>(std::move(d), initial);
  }
  Settings values_;
  std::optional<std::string> answer_;
  std::vector<std::string> events_;
};

const char kBootMsg[] = "圖片不足: 請提供以boot為開頭的12幅(65k色,160x128)圖片,(比如boot1.bmp到boot12.bmp)";
const char kEndMsg[] = "圖片不足: 請提供以End為開頭的8幅(65k色,160x128)圖片,(比如End1.bmp到End8.bmp)";

TEST_F(PageTest, FolderChoice) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  addPicture(root_ / "bad", "boot1.bmp", solid(160, 128, 0));
  auto page = make({"", false, false, false});
  struct Step {
    void (SettingPage::*click)();
    std::optional<std::string> answer;
    std::vector<std::string> events;
    std::string edit2, edit4;
    SettingPageState state;
  };
  const std::string boot = (root_ / "boot").string(), end = (root_ / "end").string();
  const std::vector<Step> steps = {
      {&SettingPage::chooseStartupFolder, std::nullopt, {"stop"}, "", "", {"", false, false, false}},
      {&SettingPage::chooseStartupFolder, boot, {"stop"}, boot, "", {"", true, false, false}},
      {&SettingPage::chooseShutdownFolder, (root_ / "boot").string(), {"stop", kEndMsg}, boot, "", {"", true, false, false}},
      {&SettingPage::chooseShutdownFolder, end, {"stop"}, boot, end, {"", true, true, true}},
      // A failing choice empties the field but never disables a Preview or Apply.
      {&SettingPage::chooseStartupFolder, (root_ / "bad").string(), {"stop", kBootMsg}, "", end, {"", true, true, true}},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    answer_ = s.answer;
    events_.clear();
    ((*page).*s.click)();
    EXPECT_EQ(events_, s.events) << "step " << i;
    EXPECT_EQ(values_.startupFolder, s.edit2) << "step " << i;
    EXPECT_EQ(values_.shutdownFolder, s.edit4) << "step " << i;
    EXPECT_EQ(page->state(), s.state) << "step " << i;
  }
  // The failed scan's list stays as it was made.
  EXPECT_EQ(page->frameList(Animation::Startup).size(), 1u);
  page->releaseFrameLists();
  EXPECT_TRUE(page->frameList(Animation::Startup).empty());
}

TEST_F(PageTest, StoredFoldersCheckedAgain) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  fs::create_directories(root_ / "emptied");
  values_.startupFolder = (root_ / "emptied").string();
  values_.shutdownFolder = (root_ / "end").string();
  auto page = make();
  page->validateStoredFolders();
  EXPECT_EQ(events_, (std::vector<std::string>{kBootMsg}));
  EXPECT_EQ(values_.startupFolder, "");
  EXPECT_EQ(values_.shutdownFolder, (root_ / "end").string());
  EXPECT_TRUE(page->state().applyEnabled);
  // A size that is no number accepts no start-up set.
  values_.startupFolder = (root_ / "boot").string();
  values_.frameWidth = "wide";
  values_.shutdownFolder.clear();
  events_.clear();
  page->validateStoredFolders();
  EXPECT_EQ(values_.startupFolder, "");
  EXPECT_EQ(events_, (std::vector<std::string>{
                         "圖片不足: 請提供以boot為開頭的12幅(65k色,0x128)圖片,(比如boot1.bmp到boot12.bmp)"}));
}

TEST_F(PageTest, PackageChoice) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  ApplyRequest rq = request(root_ / "boot", root_ / "end");
  rq.fm = 1;
  rq.language = 3;
  rq.contrast = 7;
  ASSERT_TRUE(applyPackage(rq, loader()).written);
  auto bytes = readBytes(root_ / "prefer.dat");
  bytes.push_back(0);
  writeBytes(root_ / "long.dat", bytes);
  bytes.pop_back();
  bytes[24] = bytes[25] = 0xFF;  // no FM selection
  bytes[26] = 4;                 // a language the list lacks
  bytes[28] = 12;                // contrast past the track bar
  writeBytes(root_ / "odd.dat", bytes);

  struct Case {
    const char* name;
    std::string file;
    SettingPageState want;
    int fm, language, contrast;
  };
  const std::vector<Case> cases = {
      {"as written", "prefer.dat", {"", true, true, true}, 1, 3, 7},
      {"one byte longer", "long.dat", {"", true, false, false}, 1, 3, 7},
      {"odd fields", "odd.dat", {"", true, true, true}, -1, -1, 10},
  };
  for (const Case& c : cases) {
    values_ = Settings{};
    values_.frameWidth = "1";
    auto page = make({"", false, false, false});
    answer_ = (root_ / c.file).string();
    page->choosePackage();
    SettingPageState want = c.want;
    want.chosenPackage = *answer_;
    EXPECT_EQ(page->state(), want) << c.name;
    EXPECT_EQ(values_.frameWidth, "160") << c.name;
    EXPECT_EQ(values_.frameHeight, "128") << c.name;
    EXPECT_EQ(values_.fmSelection, c.fm) << c.name;
    EXPECT_EQ(values_.playerLanguage, c.language) << c.name;
    EXPECT_EQ(values_.contrast, c.contrast) << c.name;
  }
  // A header that does not fit is reported and not taken.
  writeBytes(root_ / "short.dat", std::vector<std::uint8_t>(10));
  auto page = make({"", false, false, false});
  values_ = Settings{};
  events_.clear();
  page->selectPackage((root_ / "short.dat").string());
  EXPECT_EQ(events_, (std::vector<std::string>{
                         "prefer.dat: " + (root_ / "short.dat").string() +
                         " is 10 bytes long, shorter than the 32-byte header"}));
  EXPECT_EQ(values_, Settings{});
  EXPECT_EQ(page->state(), (SettingPageState{(root_ / "short.dat").string(), false, false, false}));
}

TEST_F(PageTest, ApplyAndHandlers) {
  addSets(root_ / "boot", root_ / "end", 160, 128);
  auto page = make();
  page->apply();
  EXPECT_EQ(events_, (std::vector<std::string>{"圖片不足: 請選擇thumbnail 路徑"}));
  EXPECT_FALSE(fs::exists(root_ / "new.dat"));

  values_.startupFolder = (root_ / "boot").string();
  values_.shutdownFolder = (root_ / "end").string();
  events_.clear();
  page->setContrast(6);
  page->setFm(1);
  page->setPlayerLanguage(2);
  page->apply();
  EXPECT_EQ(events_, (std::vector<std::string>{"Edit5=6"}));  // no message on success
  PackageInfo info;
  ASSERT_FALSE(readPackageInfo((root_ / "new.dat").string(), info));
  EXPECT_EQ(info.header, makeHeader(160, 128, 1, 2, 6));
  EXPECT_TRUE(page->state().applyEnabled);

  events_.clear();
  page->cancel();
  EXPECT_EQ(events_, (std::vector<std::string>{"stop", "close main", "close preview"}));
}

}  // namespace
}  // namespace station::test

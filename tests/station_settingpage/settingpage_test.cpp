#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <random>

#include "station/frontend/qtimage/picture_qt.h"
#include "station/frontend/qt/preview_window.h"
#include "support/qt_station.h"
#include "support/offscreen_app.h"
#include "support/scratch.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace station {
namespace {

namespace fs = std::filesystem;

QApplication& app() { return tarn::testing::offscreenApp(); }

// Frame n of a set in a colour of its own that survives 5-6-5 unchanged.
QRgb frameColour(int set, int n) { return qRgb(8 * n, 4 * (set * 20 + n), 248 - 8 * n); }

void writeSet(const fs::path& folder, const char* prefix, int count, int set, int w = 160, int h = 128) {
  fs::create_directories(folder);
  for (int n = 1; n <= count; ++n) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(frameColour(set, n));
    image.setPixel(w - 1, h - 1, qRgb(255, 255, 255));
    ASSERT_TRUE(image.save(QString::fromStdString((folder / (prefix + std::to_string(n) + ".bmp")).string()), "BMP"));
  }
}

class SettingPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    saved_ = fs::current_path();
    root_ = tarn::testing::freshScratchDir("tarn_settingpage");
    fs::create_directories(root_ / "misc");
    writeSet(root_ / "boot", "boot", 12, 0);
    writeSet(root_ / "end", "End", 8, 1);
  }
  void TearDown() override {
    window_.reset();
    preview_.reset();
    model_.reset();
    fs::current_path(saved_);
    fs::remove_all(root_);
  }
  void open() {
    ModelOptions o;
    o.programFolder = root_.string();
    o.languages = &lang_;
    o.langId = 0x0409;
    model_ = std::make_unique<StationModel>(o);
    preview_ = std::make_unique<QtPreviewWindow>();
    WindowDeps deps;
    deps.presenter = [this](const ModalMessage& m) { messages_.push_back(m.caption + ": " + m.text); };
    deps.preview = preview_.get();
    deps.folderChooser = [this] { return folder_; };
    deps.packageChooser = [this] { return folder_; };
    deps.newPackagePath = (root_ / "new.dat").string();
    window_ = std::make_unique<tarn::testing::QtStation>(*model_, std::move(deps));
    settle();
  }
  void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }
  template <class T> T* find(const char* name) {
    T* w = window_->findChild<T*>(name);
    if (!w) throw std::runtime_error(std::string("no ") + name);
    return w;
  }
  QString text(const char* edit) { return find<QLineEdit>(edit)->text(); }
  // The colour at the top-left point of the preview's picture; 0 when it shows none.
  QRgb shown() {
    auto* image1 = preview_->findChild<QLabel*>("Image1");
    QPixmap p = image1->pixmap();
    return p.isNull() ? 0 : p.toImage().pixel(0, 0) & 0xFFFFFF;
  }
  void choose(Animation animation, const fs::path& folder) {
    folder_ = folder.string();
    if (animation == Animation::Startup) window_->settingPage().chooseStartupFolder();
    else window_->settingPage().chooseShutdownFolder();
    settle();
  }

  fs::path saved_, root_;
  LanguageTable lang_;
  std::unique_ptr<StationModel> model_;
  std::unique_ptr<QtPreviewWindow> preview_;
  std::unique_ptr<tarn::testing::QtStation> window_;
  std::vector<std::string> messages_;
  std::optional<std::string> folder_;
};

TEST_F(SettingPageTest, PageAsTheWindowDefinesIt) {
  open();
  EXPECT_FALSE(find<QWidget>("tabSetting")->isEnabled());
  struct Case { const char* name; bool enabled; };
  const Case cases[] = {{"Edit9", false}, {"btnSelectPrefer", false}, {"Button6", false},
                        {"Button7", false}, {"Button2", true}, {"Button5", true}};
  for (const Case& c : cases) EXPECT_EQ(find<QWidget>(c.name)->isEnabledTo(find<QWidget>("tabSetting")), c.enabled) << c.name;
  EXPECT_EQ(preview_->windowTitle(), "frmBmpPreview");
  EXPECT_EQ(preview_->size(), QSize(200, 243));
  EXPECT_EQ(preview_->findChild<QLabel*>("Image1")->geometry(), QRect(24, 24, 129, 121));
  EXPECT_EQ(preview_->findChild<QPushButton*>("btnPlay")->text(), "Play");
  EXPECT_EQ(preview_->findChild<QPushButton*>("btnStop")->text(), "Stop");
  EXPECT_FALSE(preview_->isVisible());
}

TEST_F(SettingPageTest, FoldersApplyAndContrast) {
  open();
  choose(Animation::Startup, root_ / "end");
  EXPECT_EQ(messages_, (std::vector<std::string>{
      "圖片不足: 請提供以boot為開頭的12幅(65k色,160x128)圖片,(比如boot1.bmp到boot12.bmp)"}));
  EXPECT_EQ(text("Edit2"), "");
  EXPECT_TRUE(find<QWidget>("Button6")->isEnabledTo(find<QWidget>("tabSetting")));  // the check ran
  choose(Animation::Startup, root_ / "boot");
  choose(Animation::Shutdown, root_ / "end");
  EXPECT_EQ(text("Edit2").toStdString(), (root_ / "boot").string());
  EXPECT_EQ(text("Edit4").toStdString(), (root_ / "end").string());
  EXPECT_EQ(messages_.size(), 1u);

  window_->findChild<QSlider*>("TrackBar1")->setValue(4);
  settle();
  EXPECT_EQ(text("Edit5"), "4");
  window_->settingPage().apply();
  settle();
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_EQ(fs::file_size(root_ / "new.dat"), 819232u);
  PackageInfo info;
  ASSERT_FALSE(readPackageInfo((root_ / "new.dat").string(), info));
  EXPECT_EQ(info.header.Contrast, 4);
}

TEST_F(SettingPageTest, StoredFolderThatNoLongerPassesIsEmptiedAtStart) {
  std::ofstream(root_ / "misc" / "prefer.ini") << "[Animation]\r\nStartup=" << (root_ / "gone").string()
                                               << "\r\nShutdown=" << (root_ / "end").string() << "\r\n";
  open();
  EXPECT_EQ(messages_, (std::vector<std::string>{
      "圖片不足: 請提供以boot為開頭的12幅(65k色,160x128)圖片,(比如boot1.bmp到boot12.bmp)"}));
  EXPECT_EQ(text("Edit2"), "");
  EXPECT_EQ(text("Edit4").toStdString(), (root_ / "end").string());
  EXPECT_EQ(window_->settingPage().frameList(Animation::Shutdown).size(), 8u);
}

TEST_F(SettingPageTest, PreviewAndPlayFromFolders) {
  open();
  choose(Animation::Startup, root_ / "boot");
  choose(Animation::Shutdown, root_ / "end");
  QTest::mouseClick(find<QPushButton>("Button2"), Qt::LeftButton);  // disabled page: no effect
  EXPECT_FALSE(preview_->isVisible());
  preview_->showStartup();
  EXPECT_TRUE(preview_->isVisible());
  EXPECT_EQ(shown(), frameColour(0, 1) & 0xFFFFFF);

  QTest::mouseClick(preview_->findChild<QPushButton*>("btnPlay"), Qt::LeftButton);
  EXPECT_TRUE(preview_->timerActive());
  std::vector<QRgb> seen{shown()};
  for (int i = 0; i < 13; ++i) {
    preview_->playTick();  // what the timer does every half second
    seen.push_back(shown());
  }
  for (int i = 0; i < 14; ++i) EXPECT_EQ(seen[i], frameColour(0, i % 12 + 1) & 0xFFFFFF) << i;

  // Hiding does not stop it; Play inside Play starts again at frame 1.
  preview_->close();
  EXPECT_FALSE(preview_->isVisible());
  EXPECT_TRUE(preview_->timerActive());
  preview_->play();
  EXPECT_EQ(shown(), frameColour(0, 1) & 0xFFFFFF);
  preview_->playTick();
  EXPECT_EQ(shown(), frameColour(0, 2) & 0xFFFFFF);

  QTest::mouseClick(preview_->findChild<QPushButton*>("btnStop"), Qt::LeftButton);
  EXPECT_FALSE(preview_->timerActive());
  preview_->playTick();
  EXPECT_EQ(shown(), frameColour(0, 2) & 0xFFFFFF);

  // The shutdown Preview plays 8 frames; a folder choice is a stop source.
  preview_->showShutdown();
  EXPECT_EQ(shown(), frameColour(1, 1) & 0xFFFFFF);
  preview_->play();
  for (int i = 0; i < 8; ++i) preview_->playTick();
  EXPECT_EQ(shown(), frameColour(1, 1) & 0xFFFFFF);
  folder_.reset();
  window_->settingPage().chooseStartupFolder();  // cancelled, but the loop is told to stop
  EXPECT_FALSE(preview_->player().playing());
}

TEST_F(SettingPageTest, PreviewFromAPackageAndStopSources) {
  // A package whose first shutdown frame is pure red: F8 00 shows as (248, 0, 0).
  std::vector<std::uint8_t> file(32 + 20 * 4 * 2 * 2, 0);
  const auto header = encodeHeader(makeHeader(4, 2, 0, 0, 0));
  std::copy(header.begin(), header.end(), file.begin());
  const size_t shutdown = 32 + 12 * 16;
  for (size_t i = shutdown; i < shutdown + 16; i += 2) file[i] = 0xF8;
  std::ofstream(root_ / "p.dat", std::ios::binary).write(reinterpret_cast<char*>(file.data()), file.size());
  open();
  folder_ = (root_ / "p.dat").string();
  window_->settingPage().choosePackage();
  settle();
  EXPECT_EQ(text("Edit9").toStdString(), (root_ / "p.dat").string());
  EXPECT_EQ(text("Edit1"), "4");
  EXPECT_EQ(text("Edit6"), "2");
  preview_->showShutdown();
  EXPECT_EQ(shown(), qRgb(248, 0, 0) & 0xFFFFFF);
  preview_->play();
  EXPECT_TRUE(preview_->timerActive());
  preview_->playTick();
  EXPECT_EQ(shown(), 0u);  // frame 2 is black
  EXPECT_EQ(preview_->player().frameIndex(), 2);

  // A package cut short: nothing read past its end, nothing plays.
  fs::resize_file(root_ / "p.dat", 40);
  preview_->showStartup();
  EXPECT_EQ(shown(), 0u);
  EXPECT_FALSE(preview_->findChild<QLabel*>("Image1")->toolTip().isEmpty());
  preview_->play();
  EXPECT_FALSE(preview_->timerActive());

  // Cancel stops the loop and closes both windows (the main one saves the settings).
  fs::resize_file(root_ / "p.dat", file.size());
  preview_->play();
  EXPECT_TRUE(preview_->timerActive());
  window_->settingPage().cancel();
  settle();
  EXPECT_FALSE(preview_->timerActive());
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(preview_->isVisible());
  EXPECT_TRUE(fs::exists(root_ / "misc" / "prefer.ini"));
}

}  // namespace
}  // namespace station

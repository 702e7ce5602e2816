#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QThread>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "station/texts/fsm_version.h"
#include "support/qt_station.h"
#include "support/offscreen_app.h"
#include "support/scratch.h"
#include "support/window_expectations.h"

// The font library keeps caches for the process's life; the leak checker is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace station {
namespace {

namespace fs = std::filesystem;

QApplication& app() { return tarn::testing::offscreenApp(); }

using tarn::testing::writeFile;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    saved_ = fs::current_path();
    root_ = tarn::testing::freshScratchDir("tarn_window");
    fs::create_directories(root_ / "misc");
  }
  void TearDown() override {
    window_.reset();
    model_.reset();
    fs::current_path(saved_);
    fs::remove_all(root_);
  }
  // The window as the program makes it, shown (FormShow runs) with every change applied.
  void open(FileChooser chooser = {}) {
    ModelOptions o;
    o.programFolder = root_.string();
    o.languages = &lang_;
    o.langId = 0x0409;
    model_ = std::make_unique<StationModel>(o);
    WindowDeps deps;
    deps.chooser = std::move(chooser);
    deps.presenter = [this](const ModalMessage& m) {
      shownOnGuiThread_ = shownOnGuiThread_ && QThread::currentThread() == app().thread();
      messages_.push_back(m.caption + ": " + m.text);
    };
    window_ = std::make_unique<tarn::testing::QtStation>(*model_, std::move(deps));
    settle();
  }
  void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }
  template <class T> T* find(const char* name) {
    T* w = window_->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString text(const char* name) { return find<QLabel>(name)->text(); }

  fs::path saved_, root_;
  LanguageTable lang_;
  std::unique_ptr<StationModel> model_;
  std::unique_ptr<tarn::testing::QtStation> window_;
  std::vector<std::string> messages_;
  bool shownOnGuiThread_ = true;
};

TEST_F(WindowTest, FixedSizeAndRowGeometry) {
  open();
  EXPECT_EQ(window_->size(), QSize(872, 557));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize()) << "not resizable";
  Qt::WindowFlags f = window_->windowFlags();
  EXPECT_TRUE(f & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    const int y = 216 + 32 * (n - 1);
    const std::string s = std::to_string(n);
    const std::string label = n == 1 ? "StaticText1" : "StaticText" + std::to_string(n + 1);
    struct Cell { std::string name; int x; int width; };
    const Cell cells[] = {{"TextP" + s, 0, -1},         {label, 56, -1},
                          {"D" + s + "infoStr", 120, -1}, {"ProgressBar" + s, 264, 380},
                          {"infoImage" + s, 656, 32},     {"TextF" + s, 700, -1}};
    for (const Cell& c : cells) {
      QWidget* w = find<QWidget>(c.name.c_str());
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(w->geometry().topLeft(), QPoint(c.x, y)) << c.name;
      EXPECT_EQ(w->height(), 24) << c.name;
      if (c.width > 0) {
        EXPECT_EQ(w->width(), c.width) << c.name;
      }
    }
    EXPECT_FALSE(find<QProgressBar>(("ProgressBar" + s).c_str())->isVisible()) << "hidden while waiting";
  }
  EXPECT_FALSE(find<QWidget>("tabSetting")->isEnabled());
  EXPECT_FALSE(find<QCheckBox>("chkEraseAll")->isEnabled());
  EXPECT_FALSE(find<QCheckBox>("chkBarFixed")->isVisible());
  QFont bold = find<QLabel>("labSystemArea")->font();
  EXPECT_TRUE(bold.bold());
  EXPECT_EQ(bold.pixelSize(), 16);
}

// The expectations the Win32 window meets too (station_win32front's OperatorTest).
TEST_F(WindowTest, GroupsDisabledByARunTakeEveryControlOfTheirs) {
  open();
  model_->rows().runStarted();
  settle();
  const Settings before = model_->controls().settings();
  for (const std::string& name : testing::membersOf(mainWindowDesc(), {"grpMPSetting", "grpFileList"})) {
    QWidget* w = find<QWidget>(name.c_str());
    EXPECT_FALSE(w->isEnabled()) << name << " usable during a run";
    QTest::mouseClick(w, Qt::LeftButton);
  }
  settle();
  EXPECT_EQ(model_->controls().settings().chkFormat, before.chkFormat);
  EXPECT_EQ(model_->files().copyList().size(), 0u);
}

TEST_F(WindowTest, EveryRowTextFitsItsCellInEachLanguage) {
  open();
  const std::string ini = std::string(TARN_SOURCE_DIR) + "/misc/lang.ini";
  for (std::uint16_t id : testing::kLanguages) {
    LanguageTable table;
    ASSERT_TRUE(table.load(ini, id));
    for (const testing::CellText& c : testing::rowTexts(table)) {
      window_->frontEnd().setText(c.cell, c.text);
      QLabel* label = find<QLabel>(c.cell.c_str());
      const QString shown = label->text();
      ASSERT_EQ(shown.toStdString(), c.text);
      // In the label's own font, laid out as the label lays it out.
      const QRect room = label->contentsRect();
      const QRect need = QFontMetrics(label->font())
                             .boundingRect(QRect(0, 0, room.width(), 1000),
                                           label->wordWrap() ? Qt::TextWordWrap : Qt::TextSingleLine, shown);
      EXPECT_LE(need.width(), room.width()) << c.cell << " cuts \"" << c.text << "\" (language " << std::hex << id << ")";
      EXPECT_LE(need.height(), room.height()) << c.cell << " cuts \"" << c.text << "\" (language " << std::hex << id << ")";
      EXPECT_GE(QFontInfo(label->font()).pixelSize(), kSmallestRowFontPixels) << c.cell << " unreadable";
    }
  }
}

TEST_F(WindowTest, CaptionsWithoutLangIni) {
  open();
  EXPECT_EQ(window_->windowTitle().toStdString(),
            "MP3 Mass Production Tool (" + stationBuildDate() + ") + Unknown FSM Ver.");
  for (int n = 1; n <= 8; ++n) {
    std::string label = n == 1 ? "StaticText1" : "StaticText" + std::to_string(n + 1);
    EXPECT_EQ(text(label.c_str()), QString("Device %1: ").arg(n));
    EXPECT_EQ(text(("D" + std::to_string(n) + "infoStr").c_str()), "Waiting device...");
  }
  EXPECT_EQ(text("StaticText10"), "Total:");
  EXPECT_EQ(text("StaticText11"), "successful:");
  EXPECT_EQ(text("StaticText12"), "fail:");
  EXPECT_EQ(text("TotalStr"), "0");
  EXPECT_EQ(find<QLabel>("SuccessStr")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(find<QLabel>("FailStr")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(find<QPushButton>("AddFilesBtn")->text(), "Add files...");
  EXPECT_EQ(find<QPushButton>("Upgradebtn")->text(), "Start Upgrade");
  EXPECT_EQ(text("LabelStatic"), "Label:");
  EXPECT_EQ(find<QGroupBox>("grpFileList")->title(), "System files and Pre-copy files:");
  EXPECT_EQ(find<QCheckBox>("CheckManuupgrade")->text(), "Menual Upgrade Mode");
  EXPECT_EQ(text("labSystemArea"), "System Area Size: 4MB");
  auto* pages = find<QTabWidget>("PageControl");
  EXPECT_EQ(pages->tabText(0), "Mass Production");
  EXPECT_EQ(pages->tabText(1), "Setting");
  EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(WindowTest, CaptionsFromLangIni) {
  // A Traditional Chinese section, stored in Big5 as the Chinese systems keep it.
  writeFile(root_ / "misc" / "lang.ini",
            "[Chinese (Taiwan)]\nTitleStr = \"\xb9\x71\xb8\xa3\"\nDeviceStr = \"\xb3\x5d\xb3\xc6\"\n"
            "WaitDeviceMsg = \"Wait\"\n");
  ModelOptions o;
  o.programFolder = root_.string();
  o.languages = &lang_;
  o.langId = 0x0404;
  model_ = std::make_unique<StationModel>(o);
  window_ = std::make_unique<tarn::testing::QtStation>(*model_, WindowDeps{});
  settle();
  if (lang_.text(LangText::TitleStr) == "MP3 Mass Production Tool") GTEST_SKIP() << "no language file reader";
  EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("電腦 (") + QString::fromStdString(stationBuildDate()) +
                                        ") + Unknown FSM Ver.");
  EXPECT_EQ(text("StaticText1"), QString::fromUtf8("設備 1: "));
  EXPECT_EQ(text("D8infoStr"), "Wait");
  EXPECT_EQ(text("StaticText10"), ":") << "a key the file lacks is empty";
}

TEST_F(WindowTest, EnablingRules) {
  open();
  auto* combo = find<QComboBox>("SystemAreaComBo");
  auto* upgrade = find<QPushButton>("Upgradebtn");
  EXPECT_FALSE(combo->isEnabled());
  EXPECT_FALSE(upgrade->isEnabled());
  find<QCheckBox>("SystemAreachk")->click();
  settle();
  EXPECT_TRUE(combo->isEnabled());
  find<QCheckBox>("CheckManuupgrade")->click();
  settle();
  EXPECT_TRUE(upgrade->isEnabled());
  find<QCheckBox>("CheckManuupgrade")->click();
  settle();
  EXPECT_FALSE(upgrade->isEnabled());

  // The two groups, with all their controls, are off while a run is in progress.
  std::thread([this] { model_->rows().runStarted(); model_->rows().runStarted(); }).join();
  settle();
  EXPECT_FALSE(find<QGroupBox>("grpFileList")->isEnabled());
  EXPECT_FALSE(find<QGroupBox>("grpMPSetting")->isEnabled());
  EXPECT_FALSE(find<QPushButton>("AddFilesBtn")->isEnabled());
  EXPECT_FALSE(find<QCheckBox>("chkFormat")->isEnabled());
  std::thread([this] { model_->rows().runEnded(true); }).join();
  settle();
  EXPECT_FALSE(find<QGroupBox>("grpFileList")->isEnabled()) << "one run still going";
  std::thread([this] { model_->rows().runEnded(false); }).join();
  settle();
  EXPECT_TRUE(find<QGroupBox>("grpFileList")->isEnabled());
  EXPECT_TRUE(find<QGroupBox>("grpMPSetting")->isEnabled());
  EXPECT_EQ(text("TotalStr"), "2");
  EXPECT_EQ(text("SuccessStr"), "1");
  EXPECT_EQ(text("FailStr"), "1");
}

TEST_F(WindowTest, WorkerUpdatesReachTheRowInOrder) {
  fs::copy_file(fs::path(TARN_SOURCE_DIR) / "misc" / "fail.bmp", root_ / "misc" / "fail.bmp",
                fs::copy_options::overwrite_existing);
  open();
  model_->rows().occupySlot('E');
  std::thread([this] {
    for (int p = 5; p <= 60; ++p) model_->rows().setProgress(0, p);
    model_->rows().setStatusText(0, "Program Writing...", TextColour::WindowText);
    model_->rows().setStatusText(0, "Program Writing fail", TextColour::Red);
    model_->rows().showPicture(0, StatusPicture::Fail);
  }).join();
  settle();
  EXPECT_EQ(text("D1infoStr"), "Program Writing fail");
  EXPECT_EQ(find<QLabel>("D1infoStr")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(find<QProgressBar>("ProgressBar1")->value(), 60);
  EXPECT_TRUE(find<QProgressBar>("ProgressBar1")->isVisible());
  auto* image = find<QLabel>("infoImage1");
  EXPECT_TRUE(image->isVisible());
  EXPECT_FALSE(image->pixmap().isNull()) << "the picture file was loaded";
}

TEST_F(WindowTest, WorkerMessagesAreAnsweredOnTheGuiThread) {
  open();
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    model_->showMessage("Exceed USB Port limitation", "fail", MessageIcon::None);
    returned = true;
  });
  while (!returned) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(messages_, std::vector<std::string>{"fail: Exceed USB Port limitation"});
  EXPECT_TRUE(shownOnGuiThread_);
}

TEST_F(WindowTest, CloseSavesTheFiles) {
  open();
  find<QCheckBox>("chkFormat")->click();
  ASSERT_TRUE(window_->close());
  EXPECT_FALSE(window_->isVisible());
  std::ifstream in(root_ / "misc" / "prefer.ini");
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(all.find("Format=1"), std::string::npos) << all;
  EXPECT_TRUE(fs::exists(root_ / "misc" / "seting.ini"));
}

TEST_F(WindowTest, UnableToWriteKeepsTheWindowOpen) {
  open();
  fs::create_directories(root_ / "misc" / "prefer.ini");
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], std::string("MP3 Mass Production Tool: Unable to write to ") + kPreferIniPath);
  EXPECT_FALSE(fs::exists(root_ / "misc" / "seting.ini"));
}

TEST_F(WindowTest, AnErrorEscapingAHandlerIsShownAndTheWindowGoesOn) {
  open([](const std::string&) -> std::optional<std::vector<std::string>> {
    throw std::runtime_error("the chooser broke");
  });
  find<QPushButton>("AddFilesBtn")->click();
  settle();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "MP3 Mass Production Tool: the chooser broke");
  EXPECT_TRUE(window_->isVisible());
  find<QCheckBox>("SystemAreachk")->click();  // still serving the operator
  settle();
  EXPECT_TRUE(find<QComboBox>("SystemAreaComBo")->isEnabled());
}

TEST_F(WindowTest, CopyListEditing) {
  const std::string a = (root_ / "a.mp3").string(), b = (root_ / "b.mp3").string();
  writeFile(a, "a");
  writeFile(b, "b");
  open([&](const std::string& title) -> std::optional<std::vector<std::string>> {
    EXPECT_EQ(title, "Select files");
    return std::vector<std::string>{a, b, a};
  });
  find<QPushButton>("AddFilesBtn")->click();
  settle();
  auto* list = find<QListWidget>("SelectFileList2");
  ASSERT_EQ(list->count(), 3);
  list->item(0)->setSelected(true);
  list->item(2)->setSelected(true);
  find<QPushButton>("RemoveBtn")->click();
  settle();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text().toStdString(), b);
  EXPECT_EQ(model_->files().copyList(), std::vector<std::string>{b});
}

// The window against pictures of it kept in tests/station_window/reference. A pixel counts
// as different when a colour channel differs by more than kChannelTolerance; up to
// kPixelsTolerance of them in a thousand are allowed (font hinting between builds of the
// same font). TARN_UPDATE_REFERENCE=1 writes the pictures anew instead.
constexpr int kChannelTolerance = 32;
constexpr int kPixelsTolerance = 2;

void expectLooksLike(QWidget* widget, const std::string& name) {
  const QString path = QString::fromStdString(std::string(TARN_SOURCE_DIR) +
                                              "/tests/station_window/reference/" + name + ".png");
  QImage shot = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
  if (qEnvironmentVariableIsSet("TARN_UPDATE_REFERENCE")) {
    ASSERT_TRUE(shot.save(path)) << path.toStdString();
    return;
  }
  QImage want(path);
  ASSERT_FALSE(want.isNull()) << "no reference picture " << path.toStdString();
  want = want.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size(), want.size()) << name;
  long differing = 0;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      QRgb a = shot.pixel(x, y), b = want.pixel(x, y);
      if (std::abs(qRed(a) - qRed(b)) > kChannelTolerance || std::abs(qGreen(a) - qGreen(b)) > kChannelTolerance ||
          std::abs(qBlue(a) - qBlue(b)) > kChannelTolerance)
        ++differing;
    }
  }
  const long allowed = static_cast<long>(shot.width()) * shot.height() * kPixelsTolerance / 1000;
  EXPECT_LE(differing, allowed) << name << ": " << differing << " pixels differ";
  if (differing > allowed) shot.save(QString::fromStdString(std::string(TARN_BINARY_DIR) + "/" + name + ".png"));
}

TEST_F(WindowTest, LooksAsItsReferencePictures) {
  for (const char* picture : {"success.bmp", "fail.bmp"})
    fs::copy_file(fs::path(TARN_SOURCE_DIR) / "misc" / picture, root_ / "misc" / picture,
                  fs::copy_options::overwrite_existing);
  open();
  expectLooksLike(window_.get(), "window_start");

  // A fixed sequence: two players, one run ended each way, one in progress, the settings
  // and the copy list changed by the operator.
  find<QCheckBox>("SystemAreachk")->click();
  find<QCheckBox>("CheckManuupgrade")->click();
  find<QCheckBox>("chkFormat")->click();
  model_->controls().setLabelText("factory7");
  model_->files().setCopyList({"C:\\files\\program.bin", "C:\\files\\song.mp3"});
  model_->files().setSelection({1});
  model_->rows().occupySlot('E');
  model_->rows().occupySlot('F');
  model_->rows().occupySlot('G');
  std::thread([this] {
    model_->rows().setPortCell(0, "Port:0-4");
    model_->rows().setStatusText(0, "successful", TextColour::Blue);
    model_->rows().setProgress(0, 100);
    model_->rows().showPicture(0, StatusPicture::Success);
    model_->rows().setStatusText(1, "Format fail", TextColour::Red);
    model_->rows().setProgress(1, 30);
    model_->rows().showPicture(1, StatusPicture::Fail);
    model_->rows().setSpareCell(1, "spare");
    model_->rows().runStarted();
    model_->rows().setStatusText(2, "FILE Writing...", TextColour::WindowText);
    model_->rows().setProgress(2, 55);
    model_->rows().runStarted();
    model_->rows().runEnded(true);
    model_->rows().runStarted();
    model_->rows().runEnded(false);
  }).join();
  settle();
  expectLooksLike(window_.get(), "window_after");
  expectLooksLike(find<QWidget>("tabSetting"), "setting_page");
}

}  // namespace
}  // namespace station

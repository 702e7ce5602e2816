#include "station/frontend/qt/station_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <exception>

#include "station/ops/device_tool.h"
#include "station/frontend/qtimage/picture_qt.h"
#include "station/frontend/qt/preview_window.h"

namespace station {

namespace {

constexpr int kClientWidth = 872;
constexpr int kClientHeight = 557;
constexpr int kRowTop = 216;
constexpr int kRowPitch = 32;
constexpr int kRowHeight = 24;

QFont boldFont() {
  QFont f = QApplication::font();
  f.setBold(true);
  f.setPixelSize(16);
  return f;
}

// The row cells are narrow (the row label has 64 pixels, the status text 144): a
// condensed face of the same bold font keeps their texts readable.
QFont rowFont() {
  QFont f = boldFont();
  f.setStretch(QFont::Condensed);
  f.setPixelSize(14);
  return f;
}

QLabel* label(QWidget* parent, const char* name, const QRect& geometry, bool bold = false) {
  auto* l = new QLabel(parent);
  l->setObjectName(name);
  l->setGeometry(geometry);
  if (bold) l->setFont(boldFont());
  return l;
}

QColor colourOf(TextColour colour) {
  switch (colour) {
    case TextColour::Red: return QColor(255, 0, 0);
    case TextColour::Blue: return QColor(0, 0, 255);
    case TextColour::WindowText: break;
  }
  return QApplication::palette().color(QPalette::WindowText);
}

void setTextColour(QLabel* l, const QColor& colour) {
  QPalette p = l->palette();
  p.setColor(QPalette::WindowText, colour);
  l->setPalette(p);
}

}  // namespace

StationWindow::StationWindow(StationModel& model, WindowDeps deps, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      model_(model),
      deps_(std::move(deps)) {
  setObjectName("Form1");
  makeSettingPage();
  build();
  connectInput();
  renderAll();

  model_.setWindowThread(std::this_thread::get_id());
  model_.setPumpHook([] { QCoreApplication::processEvents(); });
  // One queue into the GUI thread keeps the model's order of changes.
  listener_ = model_.addListener([this](const Change& c) {
    QMetaObject::invokeMethod(this, [this, c] { apply(c); }, Qt::QueuedConnection);
  });
  model_.setMessageHandler([this](const ModalMessage& m) {
    if (QThread::currentThread() == thread()) present(m);
    else QMetaObject::invokeMethod(this, [this, &m] { present(m); }, Qt::BlockingQueuedConnection);
  });
  attached_ = true;

  if (deps_.events) {
    eventTimer_ = new QTimer(this);
    connect(eventTimer_, &QTimer::timeout, this, [this] { pollVolumeEvents(); });
  }
}

StationWindow::~StationWindow() { detach(); }

void StationWindow::detach() {
  if (!attached_) return;
  attached_ = false;
  model_.removeListener(listener_);
  // Runs that go on after the window is gone get their messages answered at once.
  model_.setMessageHandler(nullptr);
  model_.setPumpHook(nullptr);
}

void StationWindow::build() {
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(platform::kInstanceName);
  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl");
  pages_->setGeometry(0, 0, kClientWidth, kClientHeight);
  production_ = new QWidget;
  production_->setObjectName("TabSheet4");
  settingPage_ = new QWidget;
  settingPage_->setObjectName("tabSetting");
  pages_->addTab(production_, QString());
  pages_->addTab(settingPage_, QString());
  pages_->setTabEnabled(1, false);
  settingPage_->setEnabled(false);

  buildSettingsGroup(production_);
  buildFileGroup(production_);
  labSystemArea_ = label(production_, "labSystemArea", QRect(8, 152, 340, 24), true);
  upgrade_ = new QPushButton(production_);
  upgrade_->setObjectName("Upgradebtn");
  upgrade_->setGeometry(368, 150, 160, 28);
  buildRows(production_);
  buildCounters(production_);
  buildSettingPage(settingPage_);
}

void StationWindow::buildSettingsGroup(QWidget* page) {
  grpMPSetting_ = new QGroupBox(page);
  grpMPSetting_->setObjectName("grpMPSetting");
  grpMPSetting_->setGeometry(8, 4, 520, 142);
  struct Place { Check check; int x, y; };
  const Place places[] = {
      {Check::chkFormat, 10, 14},       {Check::chkBlankCheck, 10, 38},
      {Check::chkISOupgrade, 10, 62},   {Check::chkEraseAll, 10, 86},
      {Check::CheckManuupgrade, 10, 110}, {Check::chkFwUpgrade, 220, 14},
      {Check::chkParityCheck, 220, 38}, {Check::SystemAreachk, 220, 62},
      {Check::chkBarFixed, 220, 110},
  };
  for (const Place& p : places) {
    auto* b = new QCheckBox(grpMPSetting_);
    b->setObjectName(checkName(p.check));
    b->setGeometry(p.x, p.y, p.check == Check::SystemAreachk ? 190 : 200, 22);
    checks_[static_cast<int>(p.check)] = b;
  }
  box(Check::chkBarFixed)->setVisible(false);
  box(Check::chkEraseAll)->setEnabled(false);
  systemAreaCombo_ = new QComboBox(grpMPSetting_);
  systemAreaCombo_->setObjectName("SystemAreaComBo");
  systemAreaCombo_->setGeometry(414, 61, 90, 24);
  for (int mb = 4; mb <= 64; mb += 4) systemAreaCombo_->addItem(QString("%1MB").arg(mb));
  labelStatic_ = label(grpMPSetting_, "LabelStatic", QRect(222, 88, 60, 22));
  labelEdit_ = new QLineEdit(grpMPSetting_);
  labelEdit_->setObjectName("LabelEdit");
  labelEdit_->setGeometry(284, 87, 150, 24);
  labelEdit_->setMaxLength(11);
}

void StationWindow::buildFileGroup(QWidget* page) {
  grpFileList_ = new QGroupBox(page);
  grpFileList_->setObjectName("grpFileList");
  grpFileList_->setGeometry(536, 4, 328, 174);
  copyList_ = new QListWidget(grpFileList_);
  copyList_->setObjectName("SelectFileList2");
  copyList_->setGeometry(8, 22, 312, 112);
  copyList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  addFiles_ = new QPushButton(grpFileList_);
  addFiles_->setObjectName("AddFilesBtn");
  addFiles_->setGeometry(8, 140, 150, 26);
  remove_ = new QPushButton(grpFileList_);
  remove_->setObjectName("RemoveBtn");
  remove_->setGeometry(170, 140, 150, 26);
}

void StationWindow::buildRows(QWidget* page) {
  for (int i = 0; i < DEVICE_COUNT; ++i) {
    const int n = i + 1, y = kRowTop + kRowPitch * i;
    const std::string num = std::to_string(n);
    Row& r = rows_[i];
    r.port = label(page, ("TextP" + num).c_str(), QRect(0, y, 54, kRowHeight));
    r.label = label(page, (n == 1 ? std::string("StaticText1") : "StaticText" + std::to_string(n + 1)).c_str(),
                    QRect(56, y, 64, kRowHeight));
    r.label->setFont(rowFont());
    r.info = label(page, ("D" + num + "infoStr").c_str(), QRect(120, y, 144, kRowHeight));
    r.info->setFont(rowFont());
    r.bar = new QProgressBar(page);
    r.bar->setObjectName(("ProgressBar" + num).c_str());
    r.bar->setGeometry(264, y, 380, kRowHeight);
    r.bar->setRange(0, 100);
    r.bar->setTextVisible(false);
    r.image = label(page, ("infoImage" + num).c_str(), QRect(656, y, 32, kRowHeight));
    r.image->setScaledContents(true);
    r.spare = label(page, ("TextF" + num).c_str(), QRect(700, y, 164, kRowHeight));
  }
}

void StationWindow::buildCounters(QWidget* page) {
  counterGroup_ = new QGroupBox(page);
  counterGroup_->setObjectName("GroupBox16");
  counterGroup_->setGeometry(8, 470, 856, 52);
  const char* labels[3] = {"StaticText10", "StaticText11", "StaticText12"};
  const char* values[3] = {"TotalStr", "SuccessStr", "FailStr"};
  const QColor colours[3] = {QApplication::palette().color(QPalette::WindowText), QColor(0, 0, 255),
                             QColor(255, 0, 0)};
  for (int i = 0; i < 3; ++i) {
    counterLabels_[i] = label(counterGroup_, labels[i], QRect(16 + 280 * i, 20, 130, 24), true);
    counterValues_[i] = label(counterGroup_, values[i], QRect(150 + 280 * i, 20, 110, 24), true);
    setTextColour(counterValues_[i], colours[i]);
  }
}

void StationWindow::buildSettingPage(QWidget* page) {
  const char* names[6] = {"Edit1", "Edit2", "Edit4", "Edit5", "Edit6", "EditSpare"};
  const char* captions[6] = {"Width", "Startup", "Shutdown", "Contrast", "Height", ""};
  for (int i = 0; i < 5; ++i) {
    label(page, "", QRect(16, 16 + 32 * i, 90, 24))->setText(captions[i]);
    edits_[i] = new QLineEdit(page);
    edits_[i]->setObjectName(names[i]);
    edits_[i]->setGeometry(110, 16 + 32 * i, 300, 24);
    edits_[i]->setReadOnly(true);
  }
  comboBox1_ = new QComboBox(page);
  comboBox1_->setObjectName("ComboBox1");
  comboBox1_->setGeometry(110, 180, 120, 24);
  comboBox1_->addItems({QString::fromUtf8("有"), QString::fromUtf8("無")});
  comboBox3_ = new QComboBox(page);
  comboBox3_->setObjectName("ComboBox3");
  comboBox3_->setGeometry(240, 180, 120, 24);
  comboBox3_->addItems({QString::fromUtf8("繁體中文"), QString::fromUtf8("簡體中文"),
                        QString::fromUtf8("英文"), QString::fromUtf8("日文")});
  trackBar1_ = new QSlider(Qt::Horizontal, page);
  trackBar1_->setObjectName("TrackBar1");
  trackBar1_->setGeometry(110, 216, 300, 24);
  trackBar1_->setRange(0, 10);

  auto button = [page](const char* name, const char* text, const QRect& geometry) {
    auto* b = new QPushButton(QString::fromUtf8(text), page);
    b->setObjectName(name);
    b->setGeometry(geometry);
    return b;
  };
  button1_ = button("Button1", "...", QRect(416, 48, 32, 24));
  button2_ = button("Button2", "Preview", QRect(456, 48, 80, 24));
  button4_ = button("Button4", "...", QRect(416, 80, 32, 24));
  button5_ = button("Button5", "Preview", QRect(456, 80, 80, 24));
  label(page, "", QRect(16, 256, 90, 24))->setText("prefer.dat");
  edit9_ = new QLineEdit(page);
  edit9_->setObjectName("Edit9");
  edit9_->setGeometry(110, 256, 300, 24);
  edit9_->setReadOnly(true);
  btnSelectPrefer_ = button("btnSelectPrefer", "...", QRect(416, 256, 32, 24));
  button6_ = button("Button6", "Apply", QRect(110, 300, 90, 28));
  button7_ = button("Button7", "Ok", QRect(210, 300, 90, 28));
  button8_ = button("Button8", "Cancel", QRect(310, 300, 90, 28));
  // As the window defines them: the program enables Apply alone, never these.
  edit9_->setEnabled(false);
  btnSelectPrefer_->setEnabled(false);
  button7_->setEnabled(false);
  applySettingPageState();
}

void StationWindow::makeSettingPage() {
  SettingPageDeps d;
  d.values = [this] { return model_.settings(); };
  d.setValues = [this](const Settings& s) { model_.setSettingsPageValues(s); };
  d.setEdit5 = [this](const std::string& text) { model_.setEdit5(text); };
  d.loader = loadPictureQt;
  d.chooseFolder = deps_.folderChooser;
  if (!d.chooseFolder) {
    d.chooseFolder = [this]() -> std::optional<std::string> {
#ifdef _WIN32
      const QString start = "C:\\";
#else
      const QString start = QDir::homePath();
#endif
      QString folder = QFileDialog::getExistingDirectory(this, QString(), start);
      if (folder.isEmpty()) return std::nullopt;
      return QDir::toNativeSeparators(folder).toLocal8Bit().toStdString();
    };
  }
  d.choosePackage = deps_.packageChooser;
  if (!d.choosePackage) {
    d.choosePackage = [this]() -> std::optional<std::string> {
      QString file = QFileDialog::getOpenFileName(this, displayText(model_.lang(LangText::SelectFileStr)),
                                                  QString(), "bin Files (*.dat)");
      if (file.isEmpty()) return std::nullopt;
      return QDir::toNativeSeparators(file).toLocal8Bit().toStdString();
    };
  }
  d.message = [this](const std::string& text, const std::string& caption) { presentUtf8(text, caption); };
  TfrmBmpPreview* preview = deps_.preview;
  d.stopPreview = [preview] {
    if (preview) preview->stopRequest();
  };
  d.closeMainWindow = [this] { close(); };
  d.closePreview = [preview] {
    if (preview) preview->close();
  };
  d.pump = [] { QCoreApplication::processEvents(); };
  if (!deps_.newPackagePath.empty()) d.newPackagePath = deps_.newPackagePath;
  page_ = std::make_unique<SettingPage>(std::move(d));
  page_->setListener([this] { applySettingPageState(); });
  if (preview) {
    SettingPage* page = page_.get();
    preview->setSource([page] { return page->previewSource(); });
  }
  if (!deps_.hooks.validateFrameFolders)
    deps_.hooks.validateFrameFolders = [this](StationModel&) { page_->validateStoredFolders(); };
  if (!deps_.hooks.stopPreview) deps_.hooks.stopPreview = [preview] {
      if (preview) preview->stopRequest();
    };
  if (!deps_.hooks.releaseFrameLists) deps_.hooks.releaseFrameLists = [this] { page_->releaseFrameLists(); };
}

void StationWindow::applySettingPageState() {
  if (!edit9_) return;
  const SettingPageState& s = page_->state();
  edit9_->setText(QString::fromLocal8Bit(s.Edit9.c_str()));
  button2_->setEnabled(s.Button2);
  button5_->setEnabled(s.Button5);
  button6_->setEnabled(s.Button6);
}

void StationWindow::presentUtf8(const std::string& text, const std::string& caption) {
  if (deps_.presenter) {
    deps_.presenter({text, caption, MessageIcon::None});
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption.c_str()), QString::fromUtf8(text.c_str()),
                  QMessageBox::Ok, this);
  box.exec();
}

void StationWindow::connectInput() {
  for (int i = 0; i < kCheckCount; ++i) {
    const Check check = static_cast<Check>(i);
    connect(checks_[i], &QCheckBox::clicked, this, [this, check](bool ticked) {
      guarded([&] {
        model_.setChecked(check, ticked);
        switch (check) {
          case Check::CheckManuupgrade: CheckManuupgradeClick(model_); break;
          case Check::chkBarFixed: chkBarFixedClick(model_); break;
          case Check::SystemAreachk: SystemAreachkClick(model_); break;
          default: break;
        }
      });
    });
  }
  connect(systemAreaCombo_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    guarded([&] {
      model_.setComboIndexValue(index);
      SystemAreaComBoChange(model_);
    });
  });
  connect(labelEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    guarded([&] { model_.setLabelText(text.toLatin1().toStdString()); });
  });
  connect(copyList_, &QListWidget::itemSelectionChanged, this, [this] {
    std::vector<int> selected;
    for (int i = 0; i < copyList_->count(); ++i)
      if (copyList_->item(i)->isSelected()) selected.push_back(i);
    guarded([&] { model_.setSelection(selected); });
  });
  connect(addFiles_, &QPushButton::clicked, this, [this] {
    guarded([&] {
      FileChooser chooser = deps_.chooser;
      if (!chooser) {
        chooser = [this](const std::string& title) -> std::optional<std::vector<std::string>> {
          QStringList files = QFileDialog::getOpenFileNames(this, displayText(title), ".",
                                                            "All Files (*.*)");
          if (files.isEmpty()) return std::nullopt;
          std::vector<std::string> out;
          for (const QString& f : files)
            out.push_back(QDir::toNativeSeparators(QFileInfo(f).absoluteFilePath()).toLocal8Bit().toStdString());
          return out;
        };
      }
      AddFilesBtnClick(model_, chooser);
    });
  });
  connect(remove_, &QPushButton::clicked, this, [this] { guarded([&] { RemoveBtnClick(model_); }); });
  connect(upgrade_, &QPushButton::clicked, this, [this] { guarded([&] { UpgradebtnClick(model_); }); });

  connect(button1_, &QPushButton::clicked, this, [this] { guarded([&] { page_->Button1Click(); }); });
  connect(button4_, &QPushButton::clicked, this, [this] { guarded([&] { page_->Button4Click(); }); });
  connect(button2_, &QPushButton::clicked, this, [this] {
    guarded([&] {
      if (deps_.preview) deps_.preview->Button2Click();
    });
  });
  connect(button5_, &QPushButton::clicked, this, [this] {
    guarded([&] {
      if (deps_.preview) deps_.preview->Button5Click();
    });
  });
  connect(btnSelectPrefer_, &QPushButton::clicked, this, [this] { guarded([&] { page_->btnSelectPreferClick(); }); });
  connect(button6_, &QPushButton::clicked, this, [this] { guarded([&] { page_->Button6Click(); }); });
  connect(button8_, &QPushButton::clicked, this, [this] { guarded([&] { page_->Button8Click(); }); });
  connect(comboBox1_, qOverload<int>(&QComboBox::activated), this,
          [this](int index) { guarded([&] { page_->ComboBox1Change(index); }); });
  connect(comboBox3_, qOverload<int>(&QComboBox::activated), this,
          [this](int index) { guarded([&] { page_->ComboBox3Change(index); }); });
  connect(trackBar1_, &QSlider::valueChanged, this,
          [this](int position) { guarded([&] { page_->TrackBar1Change(position); }); });
}

QString StationWindow::displayText(const std::string& bytes) const {
  return QString::fromStdString(model_.display(bytes));
}

QWidget* StationWindow::element(Element e) const {
  switch (e) {
    case Element::grpFileList: return grpFileList_;
    case Element::grpMPSetting: return grpMPSetting_;
    case Element::Upgradebtn: return upgrade_;
    case Element::SystemAreaComBo: return systemAreaCombo_;
    case Element::chkBarFixed: return box(Check::chkBarFixed);
    case Element::CheckManuupgrade: return box(Check::CheckManuupgrade);
    case Element::chkEraseAll: return box(Check::chkEraseAll);
    case Element::tabSetting: return settingPage_;
  }
  return nullptr;
}

void StationWindow::applyRow(int row, const RowState& s) {
  if (row < 0 || row >= DEVICE_COUNT) return;
  Row& r = rows_[row];
  r.info->setText(displayText(s.text));
  r.info->setToolTip(r.info->text());  // the whole text when the cell cuts it
  setTextColour(r.info, colourOf(s.colour));
  r.bar->setValue(s.progress);
  r.bar->setVisible(s.progressVisible);
  if (s.picture) {
    QPixmap picture(QString::fromStdString(
        miscPath(*s.picture == StatusPicture::Success ? "success.bmp" : "fail.bmp")));
    r.image->setPixmap(picture);
  } else {
    r.image->clear();
  }
  r.image->setVisible(s.pictureVisible);
  r.port->setText(displayText(s.port));
  r.spare->setText(displayText(s.spare));
}

void StationWindow::applyTexts() {
  auto t = [this](LangText id) { return displayText(model_.lang(id)); };
  pages_->setTabText(0, t(LangText::PageStr));
  pages_->setTabText(1, t(LangText::SettingMsg));
  const std::pair<Check, LangText> boxes[] = {
      {Check::chkFormat, LangText::FormatStr},
      {Check::chkBlankCheck, LangText::BlankingCheckStr},
      {Check::chkISOupgrade, LangText::VirtualCDROMStr},
      {Check::chkEraseAll, LangText::FlashEraseStr},
      {Check::CheckManuupgrade, LangText::MenuUpgradeStr},
      {Check::chkBarFixed, LangText::BarFixedStr},
      {Check::chkFwUpgrade, LangText::FwUpgradeStr},
      {Check::SystemAreachk, LangText::FixSystemAreaSizeStr},
      {Check::chkParityCheck, LangText::FwParityCheckStr},
  };
  for (auto [check, id] : boxes) box(check)->setText(t(id));
  labelStatic_->setText(t(LangText::LabelStr) + ":");
  grpFileList_->setTitle(t(LangText::SysPreCopyStr));
  addFiles_->setText(t(LangText::AddFileStr) + "...");
  remove_->setText(t(LangText::RemoveStr));
  upgrade_->setText(t(LangText::MenuUpgradeStartStr));
  for (int i = 0; i < DEVICE_COUNT; ++i)
    rows_[i].label->setText(t(LangText::DeviceStr) + QString(" %1: ").arg(i + 1));
  counterGroup_->setTitle(t(LangText::LogStr));
  counterLabels_[0]->setText(t(LangText::TotalMsg) + ":");
  counterLabels_[1]->setText(t(LangText::SuccessMsg) + ":");
  counterLabels_[2]->setText(t(LangText::FailMsg) + ":");
}

void StationWindow::applySettingsPage(const Settings& s, const std::string& edit5) {
  edits_[0]->setText(QString::fromStdString(s.Edit1));
  edits_[1]->setText(QString::fromLocal8Bit(s.Edit2.c_str()));
  edits_[2]->setText(QString::fromLocal8Bit(s.Edit4.c_str()));
  edits_[3]->setText(QString::fromStdString(edit5));
  edits_[4]->setText(QString::fromStdString(s.Edit6));
  comboBox1_->setCurrentIndex(s.ComboBox1);
  comboBox3_->setCurrentIndex(s.ComboBox3);
  QSignalBlocker block(trackBar1_);  // the model already holds the position
  trackBar1_->setValue(s.TrackBar1);
}

void StationWindow::apply(const Change& c) {
  switch (c.kind) {
    case ChangeKind::Row: applyRow(c.row, c.rowState); break;
    case ChangeKind::Counters:
      counterValues_[0]->setText(QString::number(c.counters.total));
      counterValues_[1]->setText(QString::number(c.counters.success));
      counterValues_[2]->setText(QString::number(c.counters.fail));
      break;
    case ChangeKind::Enabled:
      if (QWidget* w = element(c.element)) w->setEnabled(c.flag);
      break;
    case ChangeKind::Checked: box(c.check)->setChecked(c.flag); break;
    case ChangeKind::ComboIndex: systemAreaCombo_->setCurrentIndex(c.number); break;
    case ChangeKind::Label: {
      QString text = QString::fromLatin1(c.text.c_str());
      if (labelEdit_->text() != text) labelEdit_->setText(text);
      break;
    }
    case ChangeKind::CopyList: {
      QSignalBlocker block(copyList_);
      copyList_->clear();
      for (const std::string& item : c.items) copyList_->addItem(QString::fromLocal8Bit(item.c_str()));
      for (int i : c.selection)
        if (QListWidgetItem* item = copyList_->item(i)) item->setSelected(true);
      break;
    }
    case ChangeKind::SystemAreaText: labSystemArea_->setText(displayText(c.text)); break;
    case ChangeKind::Caption: setWindowTitle(displayText(c.text)); break;
    case ChangeKind::Texts: applyTexts(); break;
    case ChangeKind::SettingsPage: applySettingsPage(c.settings, c.text); break;
    case ChangeKind::Page: pages_->setCurrentIndex(c.number); break;
    case ChangeKind::Message: break;  // shown by the message handler
    case ChangeKind::Binding:
      for (int i = 0; i < DEVICE_COUNT; ++i) applyRow(i, model_.row(i));
      break;
  }
}

void StationWindow::renderAll() {
  applyTexts();
  for (int i = 0; i < DEVICE_COUNT; ++i) applyRow(i, model_.row(i));
  Change counters(ChangeKind::Counters);
  counters.counters = model_.counters();
  apply(counters);
  for (int e = 0; e < kElementCount; ++e)
    if (QWidget* w = element(static_cast<Element>(e))) w->setEnabled(model_.enabled(static_cast<Element>(e)));
  for (int i = 0; i < kCheckCount; ++i) checks_[i]->setChecked(model_.checked(static_cast<Check>(i)));
  systemAreaCombo_->setCurrentIndex(model_.comboIndex());
  labelEdit_->setText(QString::fromLatin1(model_.labelText().c_str()));
  labSystemArea_->setText(displayText(model_.systemAreaText()));
  setWindowTitle(displayText(model_.caption()));
  applySettingsPage(model_.settings(), model_.edit5());
}

void StationWindow::present(const ModalMessage& m) {
  if (deps_.presenter) {
    deps_.presenter(m);
    return;
  }
  QMessageBox box(m.icon == MessageIcon::Error         ? QMessageBox::Critical
                  : m.icon == MessageIcon::Warning     ? QMessageBox::Warning
                  : m.icon == MessageIcon::Information ? QMessageBox::Information
                                                       : QMessageBox::NoIcon,
                  displayText(m.caption), displayText(m.text), QMessageBox::Ok, this);
  box.exec();
}

void StationWindow::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    present({e.what(), model_.appTitle(), MessageIcon::Error});
  } catch (...) {
    present({"Unknown error", model_.appTitle(), MessageIcon::Error});
  }
}

void StationWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (QScreen* screen = this->screen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  guarded([&] { FormShow(model_, deps_.hooks); });
  if (eventTimer_) eventTimer_->start(deps_.eventPollMs);
}

void StationWindow::closeEvent(QCloseEvent* event) {
  bool closed = false;
  guarded([&] { closed = FormClose(model_, deps_.hooks); });
  if (!closed) {
    event->ignore();
    return;
  }
  if (eventTimer_) eventTimer_->stop();
  detach();
  event->accept();
}

void StationWindow::pollVolumeEvents() {
  if (!deps_.events || !deps_.arrival) return;
  guarded([&] {
    for (const platform::VolumeNotice& notice : deps_.events->poll())
      handleVolumeNotice(model_, *deps_.arrival, notice);
  });
}

void StationWindow::raiseFromAnotherStart() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

}  // namespace station

#include "station/frontend/qt/qt_front_end.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include "station/frontend/qtimage/picture_qt.h"

namespace station {

namespace {

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
  f.setPixelSize(kRowFontPixels);
  return f;
}

// A row cell's text wider than its cell is drawn smaller, then on two lines, until it is
// whole: the cells keep their places and the operator reads every step and failure at
// a glance.
void fitRowFont(QLabel* label, const QString& text) {
  const QRect room = label->contentsRect();
  QFont f = rowFont();
  bool wrap = false;
  for (const RowFit& fit : kRowFits) {
    f.setPixelSize(fit.pixels);
    wrap = fit.twoLines;
    const QRect need = QFontMetrics(f).boundingRect(QRect(0, 0, room.width(), 1000),
                                                    wrap ? Qt::TextWordWrap : Qt::TextSingleLine, text);
    if (need.width() <= room.width() && need.height() <= room.height()) break;
  }
  if (label->font() != f) label->setFont(f);
  label->setWordWrap(wrap);
}

QColor colourOf(TextColour colour) {
  switch (colour) {
    case TextColour::Red: return QColor(255, 0, 0);
    case TextColour::Blue: return QColor(0, 0, 255);
    case TextColour::WindowText: break;
  }
  return QApplication::palette().color(QPalette::WindowText);
}

QString qs(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }

std::string systemPath(const QString& path) { return QDir::toNativeSeparators(path).toLocal8Bit().toStdString(); }

QWidget* make(ControlKind kind, QWidget* parent) {
  switch (kind) {
    case ControlKind::Window: return nullptr;
    case ControlKind::PageControl: return new QTabWidget(parent);
    case ControlKind::Page: return new QWidget;
    case ControlKind::GroupBox: return new QGroupBox(parent);
    case ControlKind::Label: return new QLabel(parent);
    case ControlKind::CheckBox: return new QCheckBox(parent);
    case ControlKind::ComboBox: return new QComboBox(parent);
    case ControlKind::LineEdit: return new QLineEdit(parent);
    case ControlKind::ListBox: {
      auto* list = new QListWidget(parent);
      list->setSelectionMode(QAbstractItemView::ExtendedSelection);
      return list;
    }
    case ControlKind::Button: return new QPushButton(parent);
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::Picture: return new QLabel(parent);
    case ControlKind::TrackBar: return new QSlider(Qt::Horizontal, parent);
  }
  return nullptr;
}

}  // namespace

QtFrontEnd::QtFrontEnd(QWidget* window, QtDialogs dialogs) : window_(window), dialogs_(std::move(dialogs)) {}

QWidget* QtFrontEnd::widget(const std::string& name) const {
  auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

void QtFrontEnd::createControl(const ElementDesc& e) {
  QWidget* parent = widget(e.parent);
  QWidget* w = e.kind == ControlKind::Window ? window_ : make(e.kind, parent);
  if (!w) return;
  widgets_[e.name] = w;
  w->setObjectName(QString::fromStdString(e.name));
  if (e.kind == ControlKind::Window) {
    if (e.fixedSize) w->setFixedSize(e.geometry.width, e.geometry.height);
    else w->resize(e.geometry.width, e.geometry.height);
  } else if (e.kind == ControlKind::Page) {
    if (auto* tabs = qobject_cast<QTabWidget*>(parent)) tabs->addTab(w, QString());
  } else {
    w->setGeometry(e.geometry.x, e.geometry.y, e.geometry.width, e.geometry.height);
  }
  if (e.font == FontRole::Bold) w->setFont(boldFont());
  if (e.font == FontRole::Row) {
    w->setFont(rowFont());
    rowCells_.insert(w);
  }
  if (e.colour) setColour(e.name, *e.colour);
  if (auto* combo = qobject_cast<QComboBox*>(w))
    for (const std::string& item : e.items) combo->addItem(qs(item));
  if (auto* bar = qobject_cast<QProgressBar*>(w)) bar->setRange(e.minimum, e.maximum);
  if (auto* slider = qobject_cast<QSlider*>(w)) slider->setRange(e.minimum, e.maximum);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    if (e.maxLength > 0) edit->setMaxLength(e.maxLength);
    edit->setReadOnly(e.readOnly);
  }
  if (e.kind == ControlKind::Picture) {
    auto* picture = static_cast<QLabel*>(w);
    picture->setScaledContents(e.scaled);
    // Unscaled: at its own size from the top-left corner, clipped to the control.
    if (!e.scaled) picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  if (!e.visible && e.kind != ControlKind::Window) w->setVisible(false);
  if (!e.enabled) setEnabled(e.name, false);
  connectInput(e, w);
}

void QtFrontEnd::connectInput(const ElementDesc& e, QWidget* w) {
  if (e.handler == Handler::None) return;
  const std::string name = e.name;
  if (auto* box = qobject_cast<QCheckBox*>(w)) {
    QObject::connect(box, &QCheckBox::clicked, window_, [this, name](bool ticked) {
      if (inputs_.toggled) inputs_.toggled(name, ticked);
    });
  } else if (auto* button = qobject_cast<QPushButton*>(w)) {
    QObject::connect(button, &QPushButton::clicked, window_, [this, name] {
      if (inputs_.clicked) inputs_.clicked(name);
    });
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    QObject::connect(combo, qOverload<int>(&QComboBox::activated), window_, [this, name](int index) {
      if (inputs_.chosen) inputs_.chosen(name, index);
    });
  } else if (auto* slider = qobject_cast<QSlider*>(w)) {
    QObject::connect(slider, &QSlider::valueChanged, window_, [this, name](int position) {
      if (inputs_.chosen) inputs_.chosen(name, position);
    });
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    QObject::connect(edit, &QLineEdit::textEdited, window_, [this, name](const QString& text) {
      if (inputs_.edited) inputs_.edited(name, text.toUtf8().toStdString());
    });
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    QObject::connect(list, &QListWidget::itemSelectionChanged, window_, [this, name, list] {
      std::vector<int> chosen;
      for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) chosen.push_back(i);
      if (inputs_.selected) inputs_.selected(name, chosen);
    });
  }
}

void QtFrontEnd::setText(const std::string& name, const std::string& text) {
  QWidget* w = widget(name);
  if (!w) return;
  const QString t = qs(text);
  if (w == window_) w->setWindowTitle(t);
  else if (auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr);
           tabs && tabs->indexOf(w) >= 0)
    tabs->setTabText(tabs->indexOf(w), t);
  else if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(t);
  else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(t);
    if (rowCells_.count(label)) fitRowFont(label, t);
  }
  else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(t);
  else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    if (edit->text() != t) {  // the operator's cursor stays where it is
      const int at = edit->cursorPosition();
      edit->setText(t);
      edit->setCursorPosition(std::min(at, static_cast<int>(t.size())));
    }
  }
}

void QtFrontEnd::setToolTip(const std::string& name, const std::string& text) {
  if (QWidget* w = widget(name)) w->setToolTip(qs(text));
}

void QtFrontEnd::setColour(const std::string& name, TextColour colour) {
  QWidget* w = widget(name);
  if (!w) return;
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colourOf(colour));
  w->setPalette(p);
}

void QtFrontEnd::setEnabled(const std::string& name, bool enabled) {
  QWidget* w = widget(name);
  if (!w) return;
  w->setEnabled(enabled);
  // A page's tab goes with it.
  if (auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr);
      tabs && tabs->indexOf(w) >= 0)
    tabs->setTabEnabled(tabs->indexOf(w), enabled);
}

void QtFrontEnd::setVisible(const std::string& name, bool visible) {
  QWidget* w = widget(name);
  if (!w) return;
  w->setVisible(visible);
  if (visible && w == window_) w->raise();
}

void QtFrontEnd::setChecked(const std::string& name, bool checked) {
  if (auto* box = qobject_cast<QCheckBox*>(widget(name))) box->setChecked(checked);
}

void QtFrontEnd::setValue(const std::string& name, int value) {
  QWidget* w = widget(name);
  if (!w) return;
  QSignalBlocker block(w);  // the model already holds the value
  if (auto* bar = qobject_cast<QProgressBar*>(w)) bar->setValue(value);
  else if (auto* combo = qobject_cast<QComboBox*>(w)) combo->setCurrentIndex(value);
  else if (auto* slider = qobject_cast<QSlider*>(w)) slider->setValue(value);
  else if (auto* tabs = qobject_cast<QTabWidget*>(w)) tabs->setCurrentIndex(value);
}

void QtFrontEnd::setItems(const std::string& name, const std::vector<std::string>& items,
                          const std::vector<int>& selection) {
  auto* list = qobject_cast<QListWidget*>(widget(name));
  if (!list) return;
  QSignalBlocker block(list);
  list->clear();
  for (const std::string& item : items) list->addItem(qs(item));
  for (int i : selection)
    if (QListWidgetItem* item = list->item(i)) item->setSelected(true);
}

void QtFrontEnd::setPicture(const std::string& name, const PictureRef& picture) {
  auto* label = qobject_cast<QLabel*>(widget(name));
  if (!label) return;
  if (picture.image) label->setPixmap(QPixmap::fromImage(toQImage(*picture.image)));
  else if (!picture.file.empty()) label->setPixmap(QPixmap(QString::fromStdString(picture.file)));
  else label->clear();
}

void QtFrontEnd::runOnWindowThread(std::function<void()> work, bool wait) {
  if (!wait) {
    QMetaObject::invokeMethod(window_, std::move(work), Qt::QueuedConnection);
  } else if (QThread::currentThread() == window_->thread()) {
    work();
  } else {
    QMetaObject::invokeMethod(window_, std::move(work), Qt::BlockingQueuedConnection);
  }
}

void QtFrontEnd::setTimer(const std::string& window, int intervalMs, std::function<void()> tick) {
  QTimer*& timer = timers_[window];
  if (!timer) timer = new QTimer(window_);
  timer->stop();
  QObject::disconnect(timer, &QTimer::timeout, nullptr, nullptr);
  if (intervalMs <= 0 || !tick) return;
  QObject::connect(timer, &QTimer::timeout, window_, std::move(tick));
  timer->start(intervalMs);
}

void QtFrontEnd::messageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  if (dialogs_.presenter) {
    dialogs_.presenter({text, caption, icon});
    return;
  }
  QMessageBox box(icon == MessageIcon::Error         ? QMessageBox::Critical
                  : icon == MessageIcon::Warning     ? QMessageBox::Warning
                  : icon == MessageIcon::Information ? QMessageBox::Information
                                                     : QMessageBox::NoIcon,
                  qs(caption), qs(text), QMessageBox::Ok, window_);
  box.exec();
}

std::optional<std::vector<std::string>> QtFrontEnd::chooseFiles(const std::string& title) {
  if (dialogs_.chooser) return dialogs_.chooser(title);
  QStringList files = QFileDialog::getOpenFileNames(window_, qs(title), ".", "All Files (*.*)");
  if (files.isEmpty()) return std::nullopt;
  std::vector<std::string> out;
  for (const QString& f : files) out.push_back(systemPath(QFileInfo(f).absoluteFilePath()));
  return out;
}

std::optional<std::string> QtFrontEnd::chooseFolder() {
  if (dialogs_.folderChooser) return dialogs_.folderChooser();
#ifdef _WIN32
  const QString start = "C:\\";
#else
  const QString start = QDir::homePath();
#endif
  QString folder = QFileDialog::getExistingDirectory(window_, QString(), start);
  if (folder.isEmpty()) return std::nullopt;
  return systemPath(folder);
}

std::optional<std::string> QtFrontEnd::choosePackage(const std::string& title) {
  if (dialogs_.packageChooser) return dialogs_.packageChooser();
  QString file = QFileDialog::getOpenFileName(window_, qs(title), QString(), "bin Files (*.dat)");
  if (file.isEmpty()) return std::nullopt;
  return systemPath(file);
}

void QtFrontEnd::closeWindow(const std::string& name) {
  if (QWidget* w = widget(name); w && w->isWindow()) w->close();
}

}  // namespace station

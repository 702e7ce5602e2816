#include "station/frontend/qt/station_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>

#include "platform/single_instance.h"
#include "station/frontend/qt/preview_window.h"
#include "station/frontend/qtimage/picture_qt.h"

namespace station {

StationWindow::StationWindow(WindowDeps deps, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      deps_(std::move(deps)) {
  frontEnd_ = std::make_unique<QtFrontEnd>(
      this, QtDialogs{deps_.presenter, deps_.chooser, deps_.folderChooser, deps_.packageChooser});
}

StationWindow::~StationWindow() = default;

void StationWindow::configure(BinderDeps& b) {
  b.driveInPortCell = true;
  b.loader = loadPictureQt;
  b.newPackagePath = deps_.newPackagePath;
  if (QtPreviewWindow* preview = deps_.preview) {
    b.previewStartup = [preview] { preview->showStartup(); };
    b.previewShutdown = [preview] { preview->showShutdown(); };
    b.stopPreview = [preview] { preview->stopRequest(); };
    b.closePreview = [preview] { preview->close(); };
  }
}

void StationWindow::bind(Binder& binder, std::function<bool()> closing) {
  binder_ = &binder;
  closing_ = std::move(closing);
  frontEnd_->setInputs(inputsOf(binder));
}

void StationWindow::made() {
  if (!deps_.preview) return;
  SettingPage* page = binder_->settingPage();
  deps_.preview->setSource([page] { return page->previewSource(); });
}

std::function<void()> StationWindow::pump() {
  return [] { QCoreApplication::processEvents(); };
}

void StationWindow::runLoop() { QApplication::exec(); }

void StationWindow::requestClose() {
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

bool StationWindow::screenshot(const std::string& path) {
  return grab().save(QString::fromStdString(path));
}

void* StationWindow::nativeWindow() { return reinterpret_cast<void*>(winId()); }

void StationWindow::fatal(const std::string& text) {
  QMessageBox::critical(nullptr, platform::kInstanceName, QString::fromStdString(text));
}

void StationWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_) return;
  centred_ = true;
  if (QScreen* screen = this->screen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

void StationWindow::closeEvent(QCloseEvent* event) {
  if (closing_ && !closing_()) {
    event->ignore();
    return;
  }
  event->accept();
}

void StationWindow::raiseFromAnotherStart() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

}  // namespace station

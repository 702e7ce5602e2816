#include "station/frontend/qt/station_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QScreen>
#include <QTimer>

#include "station/frontend/qt/preview_window.h"
#include "station/frontend/qtimage/picture_qt.h"

namespace station {

StationWindow::StationWindow(StationModel& model, WindowDeps deps, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      model_(model),
      deps_(std::move(deps)) {
  frontEnd_ = std::make_unique<QtFrontEnd>(
      this, QtDialogs{deps_.presenter, deps_.chooser, deps_.folderChooser, deps_.packageChooser});
  BinderDeps b;
  b.driveInPortCell = true;
  b.loader = loadPictureQt;
  b.newPackagePath = deps_.newPackagePath;
  b.hooks = deps_.hooks;
  if (TfrmBmpPreview* preview = deps_.preview) {
    b.previewStartup = [preview] { preview->Button2Click(); };
    b.previewShutdown = [preview] { preview->Button5Click(); };
    b.stopPreview = [preview] { preview->stopRequest(); };
    b.closePreview = [preview] { preview->close(); };
  }
  binder_ = std::make_unique<Binder>(model_, *frontEnd_, std::move(b));
  frontEnd_->setInputs(inputsOf(*binder_));
  binder_->create(mainWindowDesc());
  binder_->renderAll();
  if (deps_.preview) {
    SettingPage* page = binder_->settingPage();
    deps_.preview->setSource([page] { return page->previewSource(); });
  }

  model_.setWindowThread(std::this_thread::get_id());
  model_.setPumpHook([] { QCoreApplication::processEvents(); });
  binder_->attach();
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
  binder_->detach();
  model_.setPumpHook(nullptr);
}

void StationWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (QScreen* screen = this->screen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  binder_->shown();
  if (eventTimer_) eventTimer_->start(deps_.eventPollMs);
}

void StationWindow::closeEvent(QCloseEvent* event) {
  if (!binder_->closing()) {
    event->ignore();
    return;
  }
  if (eventTimer_) eventTimer_->stop();
  detach();
  event->accept();
}

void StationWindow::pollVolumeEvents() {
  if (!deps_.events || !deps_.arrival) return;
  binder_->guarded([&] {
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

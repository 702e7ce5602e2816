#include "station/frontend/qt/preview_window.h"

#include <QCloseEvent>

#include "station/frontend/qtimage/picture_qt.h"

namespace station {

QtPreviewWindow::QtPreviewWindow(std::function<PreviewSource()> source, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  // The program ends with its main window, whether or not a preview is showing.
  setAttribute(Qt::WA_QuitOnClose, false);
  frontEnd_ = std::make_unique<QtFrontEnd>(this);
  preview_ = std::make_unique<PreviewWindow>(*frontEnd_, loadPictureQt);
  preview_->setSource(std::move(source));
  FrontEndInputs inputs;
  inputs.clicked = [this](const std::string& name) { preview_->clicked(name); };
  frontEnd_->setInputs(std::move(inputs));
}

void QtPreviewWindow::closeEvent(QCloseEvent* event) {
  // Closing only hides the window; a running Play goes on.
  event->accept();
  hide();
}

}  // namespace station

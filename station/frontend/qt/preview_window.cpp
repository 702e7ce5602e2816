#include "station/frontend/qt/preview_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "station/frontend/qtimage/picture_qt.h"

namespace station {

namespace {
constexpr int kFrameMs = 500;
}

TfrmBmpPreview::TfrmBmpPreview(std::function<PreviewSource()> source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)), player_(loadPictureQt) {
  setObjectName("frmBmpPreview");
  setWindowTitle("frmBmpPreview");
  setFixedSize(200, 243);
  // The program ends with its main window, whether or not a preview is showing.
  setAttribute(Qt::WA_QuitOnClose, false);
  image1_ = new QLabel(this);
  image1_->setObjectName("Image1");
  image1_->setGeometry(24, 24, 129, 121);
  // At its own size from the top-left corner, clipped to the control.
  image1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  image1_->setScaledContents(false);
  btnPlay_ = new QPushButton("Play", this);
  btnPlay_->setObjectName("btnPlay");
  btnPlay_->setGeometry(16, 180, 75, 25);
  btnStop_ = new QPushButton("Stop", this);
  btnStop_->setObjectName("btnStop");
  btnStop_->setGeometry(108, 180, 75, 25);
  timer_ = new QTimer(this);
  timer_->setInterval(kFrameMs);
  connect(timer_, &QTimer::timeout, this, [this] { playTick(); });
  connect(btnPlay_, &QPushButton::clicked, this, [this] { btnPlayClick(); });
  connect(btnStop_, &QPushButton::clicked, this, [this] { btnStopClick(); });
}

void TfrmBmpPreview::display(const PreviewPlayer::Shown& shown) {
  if (shown.picture) image1_->setPixmap(QPixmap::fromImage(toQImage(*shown.picture)));
  else image1_->clear();
  image1_->setToolTip(QString::fromLocal8Bit(shown.error.c_str()));
}

void TfrmBmpPreview::preview(Animation animation) {
  timer_->stop();
  display(player_.preview(animation, source_ ? source_() : PreviewSource{}));
  QWidget::show();
  raise();
}

void TfrmBmpPreview::Button2Click() { preview(Animation::Startup); }
void TfrmBmpPreview::Button5Click() { preview(Animation::Shutdown); }

void TfrmBmpPreview::btnPlayClick() {
  // A Play inside a running Play starts the loop again from frame 1.
  timer_->stop();
  if (!player_.play(source_ ? source_() : PreviewSource{})) return;
  playTick();
  if (player_.playing()) timer_->start();
}

void TfrmBmpPreview::btnStopClick() { stopRequest(); }

void TfrmBmpPreview::stopRequest() {
  player_.stop();
  timer_->stop();
}

void TfrmBmpPreview::playTick() {
  if (!player_.playing()) {
    timer_->stop();
    return;
  }
  display(player_.step());
}

bool TfrmBmpPreview::timerActive() const { return timer_->isActive(); }

void TfrmBmpPreview::closeEvent(QCloseEvent* event) {
  // Closing only hides the window; a running Play goes on.
  event->accept();
  hide();
}

}  // namespace station

#include "station/frontend/qtimage/picture_qt.h"

#include "station/settings/picture.h"

namespace station {

std::optional<Picture> loadPictureQt(const std::string& path) {
  QImage image;
  if (!image.load(QString::fromLocal8Bit(path.c_str()))) return std::nullopt;
  image = image.convertToFormat(QImage::Format_RGB32);
  Picture p;
  p.width = image.width();
  p.height = image.height();
  p.rgb.resize(static_cast<size_t>(p.width) * p.height);
  for (int y = 0; y < p.height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < p.width; ++x) p.rgb[static_cast<size_t>(y) * p.width + x] = line[x] & 0xFFFFFFu;
  }
  return p;
}

QImage toQImage(const Picture& p) {
  QImage image(p.width, p.height, QImage::Format_RGB32);
  for (int y = 0; y < p.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < p.width; ++x) line[x] = 0xFF000000u | p.at(x, y);
  }
  return image;
}

}  // namespace station

namespace station {

std::optional<Picture> loadPicture(const std::string& path) { return loadPictureQt(path); }

}  // namespace station

// Pictures decoded with Qt's QImage (Qt Gui only), for the frame check, the package
// builder and the preview.
#pragma once

#include <QImage>

#include <optional>
#include <string>

#include "station/settings/prefer_package.h"

namespace station {

// A bitmap file as 0xRRGGBB points; nullopt when Qt cannot read it. The path is in the
// system's 8-bit encoding, as the settings fields hold it.
std::optional<Picture> loadPictureQt(const std::string& path);

QImage toQImage(const Picture& picture);

}  // namespace station

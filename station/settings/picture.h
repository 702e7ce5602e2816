// Pictures from files, the one seam every front end and preferpack use: Qt's QImage where
// Qt is (picture_qt.cpp), the Windows Imaging Component on Windows (picture_wic.cpp), so
// the Windows programs need nothing beyond the system's DLLs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/settings/prefer_package.h"

namespace station {

// A bitmap file as 0xRRGGBB points, top row first; nullopt when it cannot be read or
// decoded. The path is in the system's 8-bit encoding, as the settings fields hold it.
std::optional<Picture> loadPicture(const std::string& path);

// The bytes of a 24-bit bottom-up BMP file of the picture (rows padded to 4 bytes).
std::vector<std::uint8_t> encodeBmp24(const Picture& picture);

}  // namespace station

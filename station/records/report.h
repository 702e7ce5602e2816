// The picture a production manager looks at: yield per hour, failures per port and per
// step, drawn with Qt's painter into a PNG file.
#pragma once

#include "station/records/query.h"

#include <string>

namespace station::records {

// The picture format a file name asks for ("PNG", "JPEG", "BMP"), by its suffix; null for
// a name that is not a picture's.
const char* reportFormat(const std::string& path);

// `subtitle`: what the picture covers (stations, time range). False and `error` set when
// the file cannot be written.
bool drawReport(const Stats& stats, const std::string& subtitle, const std::string& path,
                std::string* error);

}  // namespace station::records

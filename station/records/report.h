// The picture a production manager looks at: yield per hour, failures per port and per
// step, drawn with Qt's painter into a PNG file.
#pragma once

#include "station/records/query.h"

#include <string>

namespace station::records {

// `subtitle`: what the picture covers (stations, time range). False and `error` set when
// the file cannot be written.
bool drawReport(const Stats& stats, const std::string& subtitle, const std::string& path,
                std::string* error);

}  // namespace station::records

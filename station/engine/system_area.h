// System area size: how many 4 MB steps the images of the copy list need, shown to the
// operator, and the operator's fixed size checked against it.
#pragma once

#include "station/ops/run_reporter.h"
#include "station/ops/run_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace station {

constexpr int64_t kSystemAreaStep = 4194304;  // 4 MB

struct SystemAreaImages {
  int index[3] = {-1, -1, -1};  // copy-list positions: program, preferences, CD image
};

// The images as the size computation recognises them: exact spellings only, the later
// entry winning.
SystemAreaImages findSystemAreaImages(const std::vector<std::string>& copyList);

// Bytes the images need: each size rounded up to 512 (a missing or unreadable image, -1,
// counts 0), the CD image only when it is written, plus 2 MB, doubled, rounded up to 4 MB.
// Sizes are 64-bit: CD images may exceed 2 GB.
int64_t neededSystemAreaBytes(int64_t programSize, int64_t preferSize, int64_t isoSize,
                              bool withIso);

// The whole computation: reads the copy list, the iso upgrade and the fixed size, shows the
// size, and when the fixed size is too small shows the message, waits for it and raises
// the fixed size to the needed one. Gives the size in 4 MB
// steps (1 = 4 MB), at least 1.
int computeSystemArea(RunReporter& report, RunSettings& settings);

}  // namespace station

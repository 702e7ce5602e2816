// Volume check at the end of a successful run: the system's disk checker on the player's
// volume, watched briefly (Windows: chkdsk with /X, 20 looks of 100 ms; simulated players:
// fsck.fat -n on the image). The run does not look at the outcome.
#pragma once

#include "platform/volume.h"

namespace station {

inline bool checkVolume(platform::Volumes& volumes, char drive) { return volumes.check(drive); }

}  // namespace station

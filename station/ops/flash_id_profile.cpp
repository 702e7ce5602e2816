// Kept apart so that code which brings its own lookup does not need the profile reader.
#include "station/ops/flash_id.h"
#include "station/settings/profile.h"

namespace station {

std::string identifyFlash(RunReporter& report, const std::string& miscDir, uint32_t flashId,
                          uint32_t chipCount, int slot) {
  return identifyFlash(report, miscDir, flashId, chipCount, slot, getProfileString);
}

}  // namespace station

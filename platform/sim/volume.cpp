// Simulated players: the user area is <TARN_SIM>/<letter>/volume.img, and every volume
// operation is the real FAT tool on that image, so what a run leaves is a real volume.
#include "platform/volume.h"

#include "platform/posix/fat_volumes.h"
#include "sim/player_store.h"

#include <sys/stat.h>

namespace platform {

std::unique_ptr<Volumes> makeSimVolumes(const std::string& root) {
  // A player is reachable while it is plugged and its image is there: a pulled player has
  // no volume, as a pulled drive has none on Windows.
  return makeFatVolumes([root](char drive) -> std::string {
    tarnsim::PlayerState state;
    std::string error;
    if (!tarnsim::readState(root, drive, state, error) || !state.plugged) return {};
    std::string path = root + "/" + std::string(1, drive) + "/volume.img";
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? path : std::string();
  });
}

}  // namespace platform

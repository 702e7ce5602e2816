#include "platform/players.h"

namespace platform {
namespace {

class SystemPlayers : public Players {
 public:
  std::unique_ptr<Volumes> volumes() const override { return makeVolumes(); }
  std::unique_ptr<UsbTopology> topology() const override { return makeUsbTopology(); }
  std::unique_ptr<VolumeEvents> events() const override { return makeVolumeEvents(); }
};

}  // namespace

std::unique_ptr<Players> makeSystemPlayers(SystemPlayerOptions) {
  return std::make_unique<SystemPlayers>();
}

}  // namespace platform

#include "platform/sim/players.h"

namespace platform {
namespace {

class SimPlayers : public Players {
 public:
  explicit SimPlayers(std::string root) : root_(std::move(root)) {}

#ifdef _WIN32
  std::unique_ptr<Volumes> volumes() const override { return system_->volumes(); }
  std::unique_ptr<UsbTopology> topology() const override { return system_->topology(); }
#else
  std::unique_ptr<Volumes> volumes() const override { return makeSimVolumes(root_); }
  std::unique_ptr<UsbTopology> topology() const override { return makeSimTopology(root_); }
#endif
  std::unique_ptr<VolumeEvents> events() const override { return makeSimVolumeEvents(root_); }

 private:
  std::string root_;
#ifdef _WIN32
  std::unique_ptr<Players> system_ = makeSystemPlayers();
#endif
};

}  // namespace

std::unique_ptr<Players> makeSimPlayers(std::string root) {
  return std::make_unique<SimPlayers>(std::move(root));
}

}  // namespace platform

// The simulated player as a drive: every request is served by the player's device model
// against its folder, under the player's lock, so the player keeps its state between
// runs of devcmd and concurrent runs on one player take turns run by run.
#include <cstring>

#include "devcmd/transport/passthrough.h"
#include "sim/player_store.h"

namespace devcmd {

namespace {

class SimulatedDrive final : public PassThrough {
 public:
  explicit SimulatedDrive(std::unique_ptr<tarnsim::PlayerFiles> files) : files_(std::move(files)) {}

  bool send(const Request& req) override {
    tarnsim::Request r;
    r.cdb = req.cdb;
    r.cdbLength = req.cdbLength > sizeof req.cdb ? uint8_t(sizeof req.cdb) : req.cdbLength;
    r.out = req.dir == DataDir::Out;
    r.length = req.length;
    if (r.out)
      r.data = req.data;
    else
      r.reply = req.data;
    return tarnsim::serve(*files_, r, lastError_);
  }

  uint32_t lastError() const override { return lastError_; }

 private:
  std::unique_ptr<tarnsim::PlayerFiles> files_;
  uint32_t lastError_ = 0;
};

}  // namespace

std::unique_ptr<PassThrough> openSimulatedDrive(const std::string& root, char letter,
                                                uint32_t& error) {
  error = tarnsim::kErrorFileNotFound;  // absent and unplugged players look alike
  char l = tarnsim::parseLetter(std::string(1, letter));
  if (!l) return nullptr;
  auto files = tarnsim::PlayerFiles::open(root, l, nullptr);
  if (!files) return nullptr;
  // Locked for the whole run (released when the drive closes): one lock, not one a
  // request; a run with latency lets others in while it waits.
  tarnsim::PlayerState state;
  if (!files->lock() || !files->load(state) || !state.plugged) return nullptr;
  error = 0;
  return std::make_unique<SimulatedDrive>(std::move(files));
}

}  // namespace devcmd

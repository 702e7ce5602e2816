// Simulated players are indexed by their letter; the port finder (misc/usbdos) turns the
// index back into the player and answers the port code stored for it.
#include "platform/usb_topology.h"

#include <cstdlib>
#include <sys/stat.h>

namespace platform {
namespace {

class SimTopology : public UsbTopology {
 public:
  explicit SimTopology(std::string root) : root_(std::move(root)) {}
  int serialIndex(char drive) override {
    if (root_.empty() || drive < 'A' || drive > 'Z') return -1;
    struct stat st;
    std::string dir = root_ + "/" + std::string(1, drive);
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
    return drive - 'A';
  }

 private:
  std::string root_;
};

}  // namespace

std::unique_ptr<UsbTopology> makeSimTopology(std::string root) {
  return std::make_unique<SimTopology>(std::move(root));
}

}  // namespace platform

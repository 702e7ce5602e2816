// Simulated players: the user area is <TARN_SIM>/<letter>/volume.img, and every volume
// operation is the real FAT tool on that image, so what a run leaves is a real volume.
// A player that is not plugged has no volume: as on a PC whose drive was pulled, every
// operation on it fails, and one during which it was pulled fails too.
#include "platform/volume.h"

#include "platform/process.h"
#include "sim/player_store.h"

#include <cstdlib>
#include <sys/stat.h>

namespace platform {
namespace {

class SimVolumes : public Volumes {
 public:
  explicit SimVolumes(std::string root) : root_(std::move(root)) {}

  bool format(char drive, bool /*quick*/, bool fat32, const std::string& label,
              const std::function<void()>& pump) override {
    std::string img;
    if (!image(drive, img)) return false;
    std::vector<std::string> argv = {"mkfs.fat", "-F", fat32 ? "32" : "16"};
    if (!label.empty()) {
      argv.push_back("-n");
      argv.push_back(label);
    }
    argv.push_back(img);
    return run(argv, nullptr, {kFormatPollMs, kFormatMaxPolls, pump}) && present(drive);
  }

  bool setLabel(char drive, const std::string& label) override {
    std::string img;
    if (!image(drive, img)) return false;
    if (label.empty()) return run({"fatlabel", "-r", img}) && present(drive);
    return run({"fatlabel", img, label}) && present(drive);
  }

  std::string readLabel(char drive) override {
    std::string img, out;
    if (!image(drive, img) || !run({"fatlabel", img}, &out) || !present(drive)) return "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
      out.pop_back();
    // The boot sector's placeholder for "no label": the system reports no label at all.
    if (out == "NO NAME") return "";
    return out;
  }

  bool isReadable(char drive) override {
    std::string img;
    return image(drive, img) && run({"mdir", "-b", "-i", img, "::/"}) && present(drive);
  }

  bool copyToRoot(const std::string& source, char drive, const std::string& name) override {
    std::string img;
    if (!image(drive, img) || name.empty()) return false;
    struct stat st;
    if (stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return run({"mcopy", "-o", "-D", "o", "-i", img, source, "::/" + name}) && present(drive);
  }

  bool check(char drive) override {
    std::string img;
    // fsck.fat on an image takes a moment, and its answer is what the tests judge the
    // volume by, so it is waited for to the end rather than for two seconds.
    return image(drive, img) && run({"fsck.fat", "-n", img}) && present(drive);
  }

 private:
  // The player's volume, when the player is there to have one.
  bool image(char drive, std::string& path) const {
    path = root_ + "/" + std::string(1, drive) + "/volume.img";
    struct stat st;
    return present(drive) && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  bool present(char drive) const {
    tarnsim::PlayerState state;
    std::string error;
    return tarnsim::readState(root_, drive, state, error) && state.plugged;
  }

  static bool run(std::vector<std::string> argv, std::string* output = nullptr,
                  WaitPolicy policy = {10, 0, {}}) {
    ChildCommand cmd;
    cmd.argv = std::move(argv);
    cmd.window = ChildWindow::Hidden;
    // An image has no disk geometry for mtools to verify.
    cmd.extraEnv = {{"MTOOLS_SKIP_CHECK", "1"}};
    std::string sink;
    cmd.output = output ? output : &sink;  // the tools' chatter stays off the console
    ChildResult r = runChild(cmd, policy);
    return r.ended() && r.exitCode == 0;
  }

  std::string root_;
};

// No simulation configured: there is no drive-letter volume to reach on this system.
class AbsentVolumes : public Volumes {
 public:
  bool format(char, bool, bool, const std::string&, const std::function<void()>&) override {
    return false;
  }
  bool setLabel(char, const std::string&) override { return false; }
  std::string readLabel(char) override { return ""; }
  bool isReadable(char) override { return false; }
  bool copyToRoot(const std::string&, char, const std::string&) override { return false; }
  bool check(char) override { return false; }
};

}  // namespace

std::unique_ptr<Volumes> makeSimVolumes(const std::string& root) {
  return std::make_unique<SimVolumes>(root);
}

std::unique_ptr<Volumes> makeVolumes() {
  const char* root = getenv("TARN_SIM");
  if (root && *root) return makeSimVolumes(root);
  return std::make_unique<AbsentVolumes>();
}

}  // namespace platform

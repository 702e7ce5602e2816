// Simulated players: the user area is <TARN_SIM>/<letter>/volume.img, and every volume
// operation is the real FAT tool on that image, so what a run leaves is a real volume.
#include "platform/volume.h"

#include "platform/process.h"

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
    return run(argv, nullptr, {kFormatPollMs, kFormatMaxPolls, pump});
  }

  bool setLabel(char drive, const std::string& label) override {
    std::string img;
    if (!image(drive, img)) return false;
    if (label.empty()) return run({"fatlabel", "-r", img});
    return run({"fatlabel", img, label});
  }

  std::string readLabel(char drive) override {
    std::string img, out;
    if (!image(drive, img) || !run({"fatlabel", img}, &out)) return "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
      out.pop_back();
    // The boot sector's placeholder for "no label": the system reports no label at all.
    if (out == "NO NAME") return "";
    return out;
  }

  bool isReadable(char drive) override {
    std::string img;
    return image(drive, img) && run({"mdir", "-b", "-i", img, "::/"});
  }

  bool copyToRoot(const std::string& source, char drive, const std::string& name) override {
    std::string img;
    if (!image(drive, img) || name.empty()) return false;
    struct stat st;
    if (stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return run({"mcopy", "-o", "-D", "o", "-i", img, source, "::/" + name});
  }

  bool check(char drive) override {
    std::string img;
    // fsck.fat on an image takes a moment, and its answer is what the tests judge the
    // volume by, so it is waited for to the end rather than for two seconds.
    return image(drive, img) && run({"fsck.fat", "-n", img});
  }

 private:
  bool image(char drive, std::string& path) const {
    path = root_ + "/" + std::string(1, drive) + "/volume.img";
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

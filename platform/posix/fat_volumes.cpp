#include "platform/posix/fat_volumes.h"

#include "platform/posix/fat_root_copy.h"
#include "platform/process.h"

namespace platform {
namespace {

class FatVolumes : public Volumes {
 public:
  explicit FatVolumes(VolumeResolver resolve) : resolve_(std::move(resolve)) {}

  bool format(char drive, bool /*quick*/, bool fat32, const std::string& label,
              const std::function<void()>& pump) override {
    std::string target = resolve_(drive);
    if (target.empty()) return false;
    // Without FAT32 the tool picks FAT12/16/32 by size, as the system's format does for
    // /FS:FAT; forcing FAT16 would refuse small and large volumes alike.
    std::vector<std::string> argv = {"mkfs.fat"};
    if (fat32) argv.insert(argv.end(), {"-F", "32"});
    if (!label.empty()) argv.insert(argv.end(), {"-n", label});
    argv.push_back(target);
    return run(argv, nullptr, {kFormatPollMs, kFormatMaxPolls, pump}) && still(drive);
  }

  bool setLabel(char drive, const std::string& label) override {
    std::string target = resolve_(drive);
    if (target.empty()) return false;
    bool ran = label.empty() ? run({"fatlabel", "-r", target}) : run({"fatlabel", target, label});
    // fatlabel reports success on a read-only device that kept the old label: believe
    // only what reads back.
    return ran && labelOf(target) == label && still(drive);
  }

  std::string readLabel(char drive) override {
    std::string target = resolve_(drive);
    std::string label = target.empty() ? std::string() : labelOf(target);
    return still(drive) ? label : std::string();
  }

  bool isReadable(char drive) override {
    std::string target = resolve_(drive);
    return !target.empty() && run({"mdir", "-b", "-i", target, "::/"}) && still(drive);
  }

  bool copyToRoot(const std::string& source, char drive, const std::string& name) override {
    return copyAllToRoot({{source, name}}, drive) == 1;
  }

  size_t copyAllToRoot(const std::vector<RootCopy>& files, char drive) override {
    std::string target = resolve_(drive);
    if (target.empty()) return 0;
    size_t copied = copyOntoFatRoot(target, files);
    // A drive that went away meanwhile (a loop device detached, a player pulled) has
    // nothing that can be trusted on it.
    return still(drive) ? copied : 0;
  }

  bool check(char drive) override {
    std::string target = resolve_(drive);
    // fsck.fat takes a moment, and its answer is what the tests judge a volume by, so it
    // is waited for to the end rather than for two seconds.
    return !target.empty() && run({"fsck.fat", "-n", target}) && still(drive);
  }

 private:
  bool still(char drive) const { return !resolve_(drive).empty(); }

  static std::string labelOf(const std::string& target) {
    std::string out;
    if (!run({"fatlabel", target}, &out)) return "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
      out.pop_back();
    // The boot sector's placeholder for "no label": the system reports no label at all.
    if (out == "NO NAME") return "";
    return out;
  }

  static bool run(std::vector<std::string> argv, std::string* output = nullptr,
                  WaitPolicy policy = {10, 0, {}}) {
    ChildCommand cmd;
    cmd.argv = std::move(argv);
    cmd.window = ChildWindow::Hidden;
    // Neither an image nor a bare device node has a disk geometry for mtools to verify.
    cmd.extraEnv = {{"MTOOLS_SKIP_CHECK", "1"}};
    std::string sink;
    cmd.output = output ? output : &sink;  // the tools' chatter stays off the console
    ChildResult r = runChild(cmd, policy);
    return r.ended() && r.exitCode == 0;
  }

  VolumeResolver resolve_;
};

}  // namespace

std::unique_ptr<Volumes> makeFatVolumes(VolumeResolver resolve) {
  return std::make_unique<FatVolumes>(std::move(resolve));
}

}  // namespace platform

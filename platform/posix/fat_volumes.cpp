#include "platform/posix/fat_volumes.h"

#include "platform/process.h"

#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace platform {
namespace {

bool readableFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}

std::string baseName(const std::string& path) {
  size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The volume's node held open while files are copied onto it, with the device's read-ahead
// at one page. The tool reads a buffer's worth before writing a partial one; read-ahead
// turns each of those reads into megabytes, about as much read as written, while none at
// all splits every read into one request a page. Holding the node keeps the device's cache
// (FAT, root) from being dropped when a tool closes it.
class DeviceHold {
 public:
  explicit DeviceHold(const std::string& node) : fd_(open(node.c_str(), O_RDONLY | O_CLOEXEC)) {
#ifdef __linux__
    struct stat st;
    const long page = sysconf(_SC_PAGESIZE) / 512;  // in sectors, as the device counts
    if (fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISBLK(st.st_mode) &&
        ioctl(fd_, BLKRAGET, &readAhead_) == 0 && readAhead_ > page &&
        ioctl(fd_, BLKRASET, static_cast<unsigned long>(page)) == 0)
      restore_ = true;
#endif
  }
  ~DeviceHold() {
#ifdef __linux__
    if (restore_) ioctl(fd_, BLKRASET, static_cast<unsigned long>(readAhead_));
#endif
    if (fd_ >= 0) close(fd_);
  }
  DeviceHold(const DeviceHold&) = delete;
  DeviceHold& operator=(const DeviceHold&) = delete;

 private:
  int fd_;
  long readAhead_ = 0;
  bool restore_ = false;
};

// Names under which the tool finds the sources: the source itself where its own name is
// the one wanted on the volume, else a link of that name in a private folder (one folder
// a file, so two files of one name keep their order).
class Staging {
 public:
  ~Staging() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::remove(it->c_str());
  }
  // Empty when no such name can be made.
  std::string nameFor(const std::string& source, const std::string& name, size_t index) {
    if (baseName(source) == name) return source;
    if (name.find('/') != std::string::npos || name == "." || name == "..") return "";
    if (folder_.empty() && !makeFolder()) return "";
    char* real = realpath(source.c_str(), nullptr);
    if (!real) return "";
    std::string target = real;
    free(real);
    std::string dir = folder_ + "/" + std::to_string(index);
    if (mkdir(dir.c_str(), 0700) != 0) return "";
    made_.push_back(dir);
    std::string link = dir + "/" + name;
    if (symlink(target.c_str(), link.c_str()) != 0) return "";
    made_.push_back(link);
    return link;
  }

 private:
  bool makeFolder() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarn-copy-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    folder_ = pattern;
    made_.push_back(folder_);
    return true;
  }

  std::string folder_;
  std::vector<std::string> made_;
};

// The boot sector's sectors per cluster; 0 when it cannot be read.
unsigned sectorsPerCluster(const std::string& target) {
  int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  unsigned char value = 0;
  bool got = pread(fd, &value, 1, 13) == 1;
  close(fd);
  return got ? value : 0;
}

class FatVolumes : public Volumes {
 public:
  explicit FatVolumes(VolumeResolver resolve) : resolve_(std::move(resolve)) {}

  bool format(char drive, bool /*quick*/, bool fat32, const std::string& label,
              const std::function<void()>& pump) override {
    std::string target = resolve_(drive);
    if (target.empty()) return false;
    // Without FAT32 the tool picks FAT12/16/32 by size, as the system's format does for
    // /FS:FAT; forcing FAT16 would refuse small and large volumes alike.
    auto mkfs = [&](unsigned sectorsPerTrack) {
      std::vector<std::string> argv = {"mkfs.fat", "-g", "1/" + std::to_string(sectorsPerTrack)};
      if (fat32) argv.insert(argv.end(), {"-F", "32"});
      if (!label.empty()) argv.insert(argv.end(), {"-n", label});
      argv.push_back(target);
      return run(argv, nullptr, {kFormatPollMs, kFormatMaxPolls, pump});
    };
    // A player addresses its flash by block number and ignores the boot sector's track
    // geometry, but mtools sizes its write buffers by it (eight tracks). A track of one
    // cluster keeps them on cluster boundaries, so the copy writes without first reading
    // what it overwrites (with 63 sectors a track it read nearly as much as it wrote) and
    // in buffers of eight clusters. The tool picks the cluster size, so it runs twice.
    if (!mkfs(1)) return false;
    unsigned perCluster = sectorsPerCluster(target);
    if (perCluster > 1 && !mkfs(perCluster)) return false;
    return still(drive);
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
    if (name.empty() || !readableFile(source)) return false;
    std::string target = resolve_(drive);
    return !target.empty() &&
           run({"mcopy", "-o", "-D", "o", "-i", target, source, "::/" + name}) && still(drive);
  }

  size_t copyAllToRoot(const std::vector<RootCopy>& files, char drive) override {
    // A source that cannot be read ends the list there; the tool would skip it and go on.
    size_t usable = 0;
    while (usable < files.size() && !files[usable].name.empty() &&
           readableFile(files[usable].source))
      ++usable;
    if (usable == 0) return 0;
    std::string target = resolve_(drive);
    if (target.empty()) return 0;
    bool ran = false;
    {
      DeviceHold hold(target);
      Staging staging;
      std::vector<std::string> argv = {"mcopy", "-o", "-D", "o", "-i", target};
      for (size_t i = 0; i < usable; ++i) {
        std::string named = staging.nameFor(files[i].source, files[i].name, i);
        if (named.empty()) break;
        argv.push_back(named);
      }
      // One run for the whole list: the volume's FAT and root are read once, not per file.
      if (argv.size() == 6 + usable) {
        argv.push_back("::/");
        ran = run(std::move(argv));
      }
    }
    // Asked only once the node is let go: a loop device detached meanwhile goes only then.
    if (ran && still(drive)) return usable;
    // The tool does not tell which file failed: file by file again, which stops there.
    return Volumes::copyAllToRoot({files.begin(), files.begin() + static_cast<long>(usable)},
                                  drive);
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

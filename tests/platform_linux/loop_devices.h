// Loop devices for the tests and benchmarks of real players on Linux: a device attached
// to a file (losetup) and a device number of our own created and removed through
// /dev/loop-control, so that the kernel tells add and remove. Never a fixed loopN: the
// machine is shared. Scratch folders and sparse files come from support/temp_folder.h.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

extern char** environ;

namespace tarn::test {

namespace fs = std::filesystem;

// Runs a tool (searched in PATH and the sbin folders) to its end; its standard output in
// `out`, its error output dropped. The exit status, -1 when it could not run.
inline int runTool(std::vector<std::string> argv, std::string* out = nullptr) {
  for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"})
    if (argv[0].find('/') == std::string::npos && access((dir + argv[0]).c_str(), X_OK) == 0) {
      argv[0] = dir + argv[0];
      break;
    }
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(pipeFds[0]);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Why loop devices cannot be used here, or true.
inline bool loopDevicesUsable(std::string& why) {
  if (geteuid() != 0) {
    why = "loop devices need root";
    return false;
  }
  if (access("/dev/loop-control", R_OK | W_OK) != 0) {
    why = "no /dev/loop-control";
    return false;
  }
  for (const char* tool : {"losetup", "partx", "mkfs.fat", "mcopy"})
    if (runTool({"sh", "-c", std::string("PATH=$PATH:/usr/sbin:/sbin command -v ") + tool}) != 0) {
      why = std::string(tool) + " is missing";
      return false;
    }
  return true;
}

inline std::string readBytes(const std::string& file, uint64_t offset, size_t n) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// An MBR whose one partition (type 0x0C) runs from sector 2048 to the end.
inline void writeMbrWithOnePartition(const std::string& file, uint64_t size) {
  unsigned char entry[16] = {0, 0, 0, 0, 0x0C, 0, 0, 0};
  const uint32_t start = 2048, count = static_cast<uint32_t>(size / 512 - start);
  for (int i = 0; i < 4; ++i) {
    entry[8 + i] = static_cast<unsigned char>(start >> (8 * i));
    entry[12 + i] = static_cast<unsigned char>(count >> (8 * i));
  }
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(446);
  f.write(reinterpret_cast<const char*>(entry), 16);
  f.seekp(510);
  f.write("\x55\xAA", 2);
}

// The names in a volume's root, one a line, sorted as mdir gives them.
inline std::string rootListing(const std::string& node) {
  std::string out, names;
  runTool({"mdir", "-b", "-i", node, "::/"}, &out);
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);)
    if (l.rfind("::/", 0) == 0) names += l.substr(3) + "\n";
  return names;
}

// A file of the volume's root as mtools reads it back.
inline std::string fileOnVolume(const std::string& node, const std::string& name,
                         const tarn::testing::TempFolder& scratch) {
  std::string out = scratch.file("readback");
  fs::remove(out);
  if (runTool({"mcopy", "-i", node, "::/" + name, out}) != 0) return "(unreadable)";
  return readBytes(out, 0, fs::file_size(out));
}

// Bytes that differ from one place to the next and from one seed to the next.
inline std::string pattern(size_t bytes, int seed) {
  std::string s(bytes, '\0');
  for (size_t i = 0; i < bytes; ++i) s[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
  return s;
}

// Bytes the kernel counted as read from and written to the disk `name` ("loop3").
struct DiskStat {
  uint64_t readBytes = 0, writtenBytes = 0;
  uint64_t readRequests = 0;  // each one a wait for the device
};
inline DiskStat diskStat(const std::string& name) {
  std::ifstream in("/sys/block/" + name + "/stat");
  uint64_t f[7] = {};
  for (uint64_t& v : f) in >> v;
  // Fields 3 and 7 count 512-byte sectors whatever the device's own sector size.
  return {f[2] * 512, f[6] * 512, f[0]};
}

// What was written through a device node, down to its backing file.
inline void flushDevice(const std::string& node) {
  int fd = open(node.c_str(), O_RDONLY);
  if (fd < 0) return;
  fsync(fd);
  ioctl(fd, BLKFLSBUF, 0);
  close(fd);
}

// A loop device attached to a file for the object's life (the first free one).
class AttachedLoop {
 public:
  AttachedLoop(const std::string& file, bool readOnly) {
    std::vector<std::string> argv = {"losetup", "-f", "--show"};
    if (readOnly) argv.push_back("-r");
    argv.push_back(file);
    std::string out;
    if (runTool(argv, &out) != 0 || out.rfind("/dev/", 0) != 0) {
      error_ = "losetup failed";
      return;
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    node_ = out;
  }
  ~AttachedLoop() {
    if (!ok()) return;
    // Detaching leaves the partitions that partx added; the next user of the number
    // would find them.
    if (partitioned_) runTool({"partx", "-d", node_});
    runTool({"losetup", "-d", node_});
  }
  AttachedLoop(const AttachedLoop&) = delete;
  AttachedLoop& operator=(const AttachedLoop&) = delete;

  bool ok() const { return !node_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& node() const { return node_; }
  std::string name() const { return node_.substr(5); }
  bool addPartitions() {
    runTool({"partx", "-a", node_});
    partitioned_ = fs::exists(node_ + "p1");
    return partitioned_;
  }
  std::string volumeNode() const { return partitioned_ ? node_ + "p1" : node_; }
  // Written blocks from the device's cache to the file.
  void flush() const {
    for (const std::string& n : {volumeNode(), node_}) flushDevice(n);
  }

 private:
  std::string node_, error_;
  bool partitioned_ = false;
};

// A loop device number of our own, created now (the kernel tells "add") and removed with
// the object ("remove"); attached and detached by hand in between.
class FreshLoop {
 public:
  FreshLoop() {
    int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) return;
    int start = 100 + static_cast<int>(std::random_device{}() % 800);
    for (int n = start; n < start + 200 && number_ < 0; ++n)
      if (ioctl(control, LOOP_CTL_ADD, n) == n) number_ = n;
    close(control);
    // The node appears a moment after the add.
    for (int i = 0; i < 200 && number_ >= 0 && !fs::exists(node()); ++i) usleep(5000);
  }
  ~FreshLoop() { remove(); }
  FreshLoop(const FreshLoop&) = delete;
  FreshLoop& operator=(const FreshLoop&) = delete;

  bool ok() const { return number_ >= 0 && fs::exists(node()); }
  std::string node() const { return "/dev/loop" + std::to_string(number_); }
  std::string name() const { return "loop" + std::to_string(number_); }
  bool attach(const std::string& file, bool readOnly = false) {
    std::vector<std::string> argv = {"losetup"};
    if (readOnly) argv.push_back("-r");
    argv.insert(argv.end(), {node(), file});
    attached_ = runTool(argv) == 0;
    return attached_;
  }
  bool detach() {
    if (!attached_) return true;
    flushDevice(node());
    attached_ = runTool({"losetup", "-d", node()}) != 0;
    return !attached_;
  }
  void remove() {
    if (number_ < 0) return;
    detach();
    int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control >= 0) {
      // A detached device can be busy for a moment longer.
      for (int i = 0; i < 100 && ioctl(control, LOOP_CTL_REMOVE, number_) < 0 && errno == EBUSY; ++i)
        usleep(10000);
      close(control);
    }
    number_ = -1;
  }

 private:
  int number_ = -1;
  bool attached_ = false;
};

}  // namespace tarn::test

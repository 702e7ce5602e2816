// Real players on Linux on loop devices (root only; skipped with the reason elsewhere):
// the FAT tools on a device node and on its first partition, a read-only device, and the
// kernel's events for a device that comes and goes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <fstream>
#include <thread>

#include "loop_devices.h"
#include "platform/drive_table.h"
#include "platform/linux/block_devices.h"
#include "platform/linux/real_devices.h"

namespace {

using namespace platform;
using namespace tarn::test;

class LoopDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!loopDevicesUsable(why)) GTEST_SKIP() << why;
  }
  tarn::testing::TempFolder scratch{"loop"};
};

std::string bootLabel(const std::string& file, uint64_t offset, bool fat32) {
  std::string bytes = readBytes(file, offset + (fat32 ? 0x47 : 0x2B), 11);
  while (!bytes.empty() && bytes.back() == ' ') bytes.pop_back();
  return bytes;
}

// Every operation on the whole device and on its first partition: the volume lands where
// it should, FAT leaves the type to the tool, FAT32 forces it.
TEST_F(LoopDevice, VolumeOperationsOnDiskAndFirstPartition) {
  struct Case {
    bool partitioned;
    unsigned mib;
    bool fat32;
    const char* type;
  } cases[] = {{false, 8, false, "FAT12"}, {false, 64, false, "FAT16"},
               {true, 64, false, "FAT16"}, {true, 300, true, "FAT32"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mib) + (c.partitioned ? " MiB, partitioned" : " MiB"));
    std::string file = scratch.sized("disk.img", uint64_t{c.mib} << 20);
    if (c.partitioned) writeMbrWithOnePartition(file, uint64_t{c.mib} << 20);
    AttachedLoop loop(file, false);
    ASSERT_TRUE(loop.ok()) << loop.error();
    if (c.partitioned) {
      ASSERT_TRUE(loop.addPartitions()) << "partx -a";
    }

    DriveTable table;
    ASSERT_EQ(table.bind({loop.name(), loop.node(), "", 0}), 'E');
    auto volumes = makeLinuxVolumes("/sys", table);
    int pumps = 0;
    ASSERT_TRUE(volumes->format('E', false, c.fat32, "PLAYER", [&] { ++pumps; }));
    EXPECT_EQ(volumes->readLabel('E'), "PLAYER");
    EXPECT_TRUE(volumes->setLabel('E', "OTHER"));
    EXPECT_EQ(volumes->readLabel('E'), "OTHER");
    EXPECT_TRUE(volumes->isReadable('E'));
    std::string song = scratch.write("song.mp3", std::string(300000, 'x'));
    EXPECT_TRUE(volumes->copyToRoot(song, 'E', "song.mp3"));
    EXPECT_TRUE(volumes->copyToRoot(song, 'E', "song.mp3")) << "a second copy replaces the first";
    EXPECT_FALSE(volumes->copyToRoot(scratch.file("missing"), 'E', "x.mp3"));
    EXPECT_TRUE(volumes->check('E'));
    EXPECT_EQ(rootListing(loop.volumeNode()), "song.mp3\n");
    loop.flush();
    const bool fat32 = std::string(c.type) == "FAT32";
    uint64_t offset = c.partitioned ? 2048 * 512 : 0;
    EXPECT_EQ(readBytes(file, offset + (fat32 ? 0x52 : 0x36), 5), c.type);
    EXPECT_EQ(bootLabel(file, offset, fat32), "OTHER");
    if (c.partitioned) {
      EXPECT_EQ(readBytes(file, 510, 2), "\x55\xAA") << "the partition table stays";
    }

    // The binding ends with the removal: nothing is touched any more.
    table.release(loop.name());
    EXPECT_FALSE(volumes->setLabel('E', "GONE"));
    EXPECT_EQ(volumes->readLabel('E'), "");
    EXPECT_FALSE(volumes->isReadable('E'));
    EXPECT_FALSE(volumes->check('E'));
  }
}

// A read-only device keeps its volume, and every writing operation says it failed, the
// label too although fatlabel itself ends with 0 there.
TEST_F(LoopDevice, ReadOnlyDeviceFailsEveryWrite) {
  std::string file = scratch.sized("ro.img", 64u << 20);
  ASSERT_EQ(runTool({"mkfs.fat", "-n", "KEEP", file}), 0);
  AttachedLoop loop(file, true);
  ASSERT_TRUE(loop.ok()) << loop.error();
  DriveTable table;
  ASSERT_EQ(table.bind({loop.name(), loop.node(), "", 0}), 'E');
  auto volumes = makeLinuxVolumes("/sys", table);
  EXPECT_EQ(volumes->readLabel('E'), "KEEP");
  EXPECT_FALSE(volumes->format('E', false, false, "NEW", [] {}));
  EXPECT_FALSE(volumes->setLabel('E', "NEW"));
  EXPECT_FALSE(volumes->copyToRoot(scratch.write("a.txt", "a"), 'E', "a.txt"));
  EXPECT_EQ(volumes->readLabel('E'), "KEEP");
  EXPECT_TRUE(volumes->isReadable('E'));
}

// A disk replaced under a running run (the node detached and attached to another file):
// whether the station has seen it go and come (the letter bound again) or not yet (the
// same binding, another medium), the run's volume steps never touch the new disk; a run
// that begins after it does.
TEST_F(LoopDevice, ReplacedDiskIsNotTheRunsDisk) {
  for (bool rebound : {false, true}) {
    SCOPED_TRACE(rebound ? "letter bound again" : "not seen yet");
    FreshLoop loop;
    ASSERT_TRUE(loop.ok()) << "no free loop device number";
    std::string first = scratch.sized("first.img", 16u << 20);
    std::string second = scratch.sized("second.img", 16u << 20);
    ASSERT_TRUE(loop.attach(first));
    auto bindNow = [&](DriveTable& table) {
      std::optional<linuxdev::BlockDisk> disk = linuxdev::readBlockDisk("/sys", loop.name());
      ASSERT_TRUE(disk && disk->diskSeq) << "a kernel that numbers its media";
      table.bind({loop.name(), loop.node(), "", 0, disk->diskSeq});
    };
    DriveTable table;
    bindNow(table);
    auto run = makeLinuxVolumes("/sys", table);  // the run begins
    ASSERT_TRUE(run->format('E', false, false, "FIRST", [] {}));  // its disk, looked at once
    ASSERT_TRUE(loop.detach());
    ASSERT_TRUE(loop.attach(second));
    if (rebound) {
      table.release(loop.name());
      bindNow(table);
    }
    EXPECT_FALSE(run->format('E', false, false, "OLD", [] {}));
    EXPECT_FALSE(run->copyToRoot(scratch.write("a.txt", "a"), 'E', "a.txt"));
    EXPECT_EQ(readBytes(second, 0, 512), std::string(512, '\0')) << "the new disk untouched";
    if (rebound) {
      auto next = makeLinuxVolumes("/sys", table);
      EXPECT_TRUE(next->format('E', false, false, "NEW", [] {}));
      EXPECT_EQ(next->readLabel('E'), "NEW");
    }
  }
}

// The kernel's own events: a loop device created, attached, detached and removed arrives
// as E and goes; one not named as a test device is refused.
TEST_F(LoopDevice, KernelEventsBecomeArrivalsAndRemovals) {
  FreshLoop allowed, other;
  ASSERT_TRUE(allowed.ok() && other.ok()) << "no free loop device number";
  RealDeviceOptions options;
  options.allowed = {allowed.node()};
  DriveTable table;
  auto events = makeLinuxVolumeEvents(options, table);
  std::vector<VolumeNotice> seen;
  auto waitFor = [&](const VolumeNotice& wanted) {
    for (int i = 0; i < 400; ++i) {
      for (VolumeNotice& n : events->poll())
        if (n.letters.size() || n.device == allowed.node() || n.device == other.node())
          seen.push_back(n);
      for (const VolumeNotice& n : seen)
        if (n == wanted) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };
  std::string file = scratch.sized("ev.img", 16u << 20);
  ASSERT_TRUE(allowed.attach(file));
  EXPECT_TRUE(waitFor({VolumeChange::Arrival, "E"}));
  EXPECT_EQ(table.find('E')->blockDevice, allowed.node());
  ASSERT_TRUE(other.attach(file));
  EXPECT_TRUE(waitFor({VolumeChange::Refused, "", other.node(), "not a USB mass-storage disk"}));
  EXPECT_TRUE(other.detach());
  EXPECT_TRUE(waitFor({VolumeChange::RefusedRemoval, "", other.node(), ""}));
  ASSERT_TRUE(allowed.detach());
  EXPECT_TRUE(waitFor({VolumeChange::Removal, "E"}));
  EXPECT_FALSE(table.find('E'));
  std::vector<VolumeNotice> expected = {{VolumeChange::Arrival, "E"},
                                        {VolumeChange::Refused, "", other.node(), "not a USB mass-storage disk"},
                                        {VolumeChange::RefusedRemoval, "", other.node(), ""},
                                        {VolumeChange::Removal, "E"}};
  EXPECT_EQ(seen, expected);
}

}  // namespace

// The FAT tools behind wrappers that write one line per run to a log, so that a test
// counts the tool processes.
class ToolLog {
 public:
  explicit ToolLog(const tarn::testing::TempFolder& scratch)
      : log_(scratch.file("tools.log")), oldPath_(getenv("PATH") ? getenv("PATH") : "") {
    fs::create_directories(scratch.file("bin"));
    fs::remove(log_);
    for (const char* tool : {"mcopy", "mdir", "fatlabel", "fsck.fat", "mkfs.fat"}) {
      std::string real;
      for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"})
        if (real.empty() && access((dir + std::string(tool)).c_str(), X_OK) == 0) real = dir + std::string(tool);
      std::string script = "#!/bin/sh\necho \"" + std::string(tool) + " $*\" >> '" + log_ +
                           "'\nexec " + real + " \"$@\"\n";
      std::string path = scratch.write("bin/" + std::string(tool), script);
      chmod(path.c_str(), 0755);
    }
    setenv("PATH", (scratch.file("bin") + ":" + oldPath_).c_str(), 1);
  }
  ~ToolLog() { setenv("PATH", oldPath_.c_str(), 1); }
  // Tool runs since the last call.
  int runs() {
    std::ifstream in(log_);
    int lines = 0;
    for (std::string l; std::getline(in, l);) ++lines;
    int since = lines - seen_;
    seen_ = lines;
    return since;
  }

 private:
  std::string log_, oldPath_;
  int seen_ = 0;
};

// Pulls the device the moment `source` is opened, before the opener reads a byte of it:
// the backing file cut to nothing and the loop device told its new size, as a player that
// loses its medium. The kernel holds the open until the pull is done.
class PullWhenOpened {
 public:
  PullWhenOpened(const std::string& source, const std::string& backing, const std::string& node)
      : fd_(fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0 || fanotify_mark(fd_, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD, source.c_str()) != 0)
      return;
    watcher_ = std::thread([this, backing, node] {
      pollfd p{fd_, POLLIN, 0};
      while (!stop_ && poll(&p, 1, 50) >= 0) {
        fanotify_event_metadata event;
        if (!(p.revents & POLLIN) || read(fd_, &event, sizeof event) != sizeof event) continue;
        if (!pulled_) {
          fs::resize_file(backing, 0);
          runTool({"losetup", "-c", node});
          pulled_ = true;
        }
        fanotify_response allow{event.fd, FAN_ALLOW};
        (void)!write(fd_, &allow, sizeof allow);
        close(event.fd);
      }
    });
  }
  ~PullWhenOpened() {
    stop_ = true;
    if (watcher_.joinable()) watcher_.join();
    if (fd_ >= 0) close(fd_);
  }
  bool armed() const { return watcher_.joinable(); }
  bool pulled() const { return pulled_; }

 private:
  int fd_;
  std::atomic<bool> stop_{false}, pulled_{false};
  std::thread watcher_;
};

// The whole copy list without a tool process: names as asked (a source named otherwise,
// two sources of one name: the later wins), every byte back, a FAT that passes fsck.fat,
// and the device barely read while it is written, on a volume of the station's format and
// on one formatted elsewhere.
TEST_F(LoopDevice, CopyListWithoutToolsWritesMoreThanItReads) {
  fs::create_directories(scratch.file("later"));
  std::string first = scratch.write("song.mp3", pattern(6u << 20, 1));
  std::string renamed = scratch.write("take 2.wav", pattern(5u << 20, 2));
  std::string later = scratch.write("later/song.mp3", pattern(7u << 20, 3));
  std::string odd = scratch.write("odd.bin", pattern(4097, 4));
  for (bool ours : {true, false}) {
    SCOPED_TRACE(ours ? "the station's format" : "formatted elsewhere");
    std::string file = scratch.sized("copy.img", 512u << 20);
    if (!ours) {
      ASSERT_EQ(runTool({"mkfs.fat", "-F", "32", file}), 0);
    }
    AttachedLoop loop(file, false);
    ASSERT_TRUE(loop.ok()) << loop.error();
    DriveTable table;
    ASSERT_EQ(table.bind({loop.name(), loop.node(), "", 0}), 'E');
    auto volumes = makeLinuxVolumes("/sys", table);
    if (ours) {
      ASSERT_TRUE(volumes->format('E', false, true, "PLAYER", [] {}));
    }

    ToolLog tools(scratch);
    loop.flush();  // nothing of the volume in the cache: the copy reads what it needs
    const std::string readAhead = readBytes("/sys/block/" + loop.name() + "/queue/read_ahead_kb", 0, 64);
    DiskStat before = diskStat(loop.name());
    EXPECT_EQ(volumes->copyAllToRoot({{first, "song.mp3"},
                                      {renamed, "Track Two.wav"},
                                      {odd, "odd.bin"},
                                      {later, "song.mp3"}},
                                     'E'),
              4u);
    EXPECT_EQ(tools.runs(), 0) << "the station writes the files and the FAT itself";
    loop.flush();
    DiskStat after = diskStat(loop.name());
    uint64_t read = after.readBytes - before.readBytes;
    uint64_t written = after.writtenBytes - before.writtenBytes;
    EXPECT_GE(written, 18u << 20);
    EXPECT_LT(read * 10, written) << read << " bytes read for " << written << " written";
    uint64_t requests = after.readRequests - before.readRequests;
    EXPECT_LT(requests * (256u << 10), written) << requests << " read requests, each one a wait";
    EXPECT_EQ(readBytes("/sys/block/" + loop.name() + "/queue/read_ahead_kb", 0, 64), readAhead)
        << "the device's read-ahead as it was";

    EXPECT_EQ(rootListing(loop.node()), "song.mp3\nTrack Two.wav\nodd.bin\n")
        << "a replaced file keeps its place";
    EXPECT_TRUE(fileOnVolume(loop.node(), "song.mp3", scratch) == pattern(7u << 20, 3));
    EXPECT_TRUE(fileOnVolume(loop.node(), "Track Two.wav", scratch) == pattern(5u << 20, 2));
    EXPECT_TRUE(fileOnVolume(loop.node(), "odd.bin", scratch) == pattern(4097, 4));
    EXPECT_EQ(runTool({"fsck.fat", "-n", loop.node()}), 0);
  }
}

// A file that cannot be copied ends the list where it stands: what came before is on the
// volume, nothing after it, and the FAT stays sound; a device pulled mid-list fails.
TEST_F(LoopDevice, CopyListStopsAtTheFirstFileThatFails) {
  struct Case {
    const char* what;
    std::vector<unsigned> kib;  // 0: no such file
    bool pull;
    size_t copied;
    const char* listing;
  } cases[] = {
      {"a missing file", {512, 0, 512}, false, 1, "f0.mp3\n"},
      {"a volume full mid-list", {512, 40 << 10, 512}, false, 1, "f0.mp3\n"},
      {"a device pulled mid-list", {512, 512, 512}, true, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string file = scratch.sized("small.img", 32u << 20);
    AttachedLoop loop(file, false);
    ASSERT_TRUE(loop.ok()) << loop.error();
    DriveTable table;
    ASSERT_EQ(table.bind({loop.name(), loop.node(), "", 0}), 'E');
    auto volumes = makeLinuxVolumes("/sys", table);
    ASSERT_TRUE(volumes->format('E', false, false, "PLAYER", [] {}));
    std::vector<Volumes::RootCopy> list;
    for (size_t i = 0; i < c.kib.size(); ++i) {
      std::string name = "f" + std::to_string(i) + ".mp3";
      std::string source = c.kib[i] ? scratch.write(name, pattern(c.kib[i] << 10, int(i)))
                                    : scratch.file("absent-" + name);
      list.push_back({source, name});
    }
    std::optional<PullWhenOpened> pull;
    if (c.pull) {
      pull.emplace(list[1].source, file, loop.node());
      ASSERT_TRUE(pull->armed()) << "fanotify: " << strerror(errno);
    }
    EXPECT_EQ(volumes->copyAllToRoot(list, 'E'), c.copied);
    if (!c.listing) {
      EXPECT_TRUE(pull->pulled());
      EXPECT_EQ(volumes->readLabel('E'), "") << "the pulled device is not reached again";
      continue;
    }
    EXPECT_EQ(rootListing(loop.node()), c.listing);
    EXPECT_TRUE(fileOnVolume(loop.node(), "f0.mp3", scratch) == pattern(512 << 10, 0));
    EXPECT_EQ(runTool({"fsck.fat", "-n", loop.node()}), 0);
  }
}

// Found once per arrival, then only re-checked at the node: a disk someone claims for
// himself (as a mount does) or that loses its medium is out of reach at once, and back
// when it is free again.
TEST_F(LoopDevice, VolumeReachableOnlyWhileFreeAndPresent) {
  std::string file = scratch.sized("claim.img", 16u << 20);
  ASSERT_EQ(runTool({"mkfs.fat", "-n", "KEEP", file}), 0);
  AttachedLoop loop(file, false);
  ASSERT_TRUE(loop.ok()) << loop.error();
  DriveTable table;
  ASSERT_EQ(table.bind({loop.name(), loop.node(), "", 0}), 'E');
  auto volumes = makeLinuxVolumes("/sys", table);
  EXPECT_EQ(volumes->readLabel('E'), "KEEP");
  int claim = open(loop.node().c_str(), O_RDONLY | O_EXCL);
  ASSERT_GE(claim, 0);
  EXPECT_FALSE(volumes->isReadable('E'));
  EXPECT_FALSE(volumes->setLabel('E', "OTHER"));
  close(claim);
  EXPECT_TRUE(volumes->setLabel('E', "OTHER"));
  fs::resize_file(file, 0);
  EXPECT_EQ(runTool({"losetup", "-c", loop.node()}), 0);
  EXPECT_FALSE(volumes->isReadable('E')) << "no medium";
  EXPECT_EQ(volumes->readLabel('E'), "");
}

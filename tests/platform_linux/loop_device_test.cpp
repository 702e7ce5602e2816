// Real players on Linux on loop devices (root only; skipped with the reason elsewhere):
// the FAT tools on a device node and on its first partition, a read-only device, and the
// kernel's events for a device that comes and goes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
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

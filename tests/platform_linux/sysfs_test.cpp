// Real players on Linux without hardware: fake sysfs trees for the walk from a disk to its
// USB port, the port code and what the station makes of it, the disks it refuses, the
// kernel's event properties, and the arrivals and removals they become.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/drive_table.h"
#include "platform/linux/block_devices.h"
#include "platform/linux/real_devices.h"
#include "station/engine/slot_discovery.h"
#include "support/temp_folder.h"
#include "sysfs_tree.h"

namespace {

using namespace platform;
using namespace platform::linuxdev;
using tarn::test::SysfsTree;

// From a stick's place in the USB tree to the station's port cell and show port.
TEST(UsbPort, FromSysfsToThePortCell) {
  SysfsTree tree;
  tree.hub("usb1/1-1", 4);
  tree.hub("usb1/1-2", 7);
  tree.hub("usb1/1-2/1-2.4", 4);
  tree.hub("usb1/1-3", 12);
  tree.stick("usb1/1-5", "sdb");                    // a root port
  tree.stick("usb1/1-1/1-1.3", "sdc");              // behind one hub
  tree.stick("usb1/1-2/1-2.4/1-2.4.2", "sdd");      // behind two hubs
  tree.stick("usb1/1-1/1-1.2", "sde", 0);           // two LUNs of one player
  tree.stick("usb1/1-1/1-1.2", "sdf", 1);
  tree.stick("usb1/1-3/1-3.11", "sdg");             // port 11: no digit for it
  tree.stick("usb1/1-3/1-3.2", "sdh");              // a hub of 12 ports

  struct Case {
    const char* disk;
    const char* folder;
    uint32_t code;
    const char* cell;  // "hubport-port", empty when discovery fails
    int showPort;
    const char* sg;
  } cases[] = {
      {"sdb", "1-5", 5, "0-5", 5, "/dev/sg2"},
      {"sdc", "1-1.3", 400113, "1-3", 3, "/dev/sg2"},
      {"sdd", "1-2.4.2", 400442, "4-2", 2, "/dev/sg2"},
      {"sde", "1-1.2", 400112, "1-2", 2, "/dev/sg2"},
      {"sdf", "1-1.2", 400112, "1-2", 2, "/dev/sg3"},
      {"sdg", "1-3.11", 0, "", 0, "/dev/sg2"},
      {"sdh", "1-3.2", 900332, "", 0, "/dev/sg2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disk);
    std::optional<BlockDisk> disk = readBlockDisk(tree.root(), c.disk);
    ASSERT_TRUE(disk);
    ASSERT_TRUE(disk->usb);
    EXPECT_EQ(disk->usb->folder, c.folder);
    EXPECT_TRUE(disk->usb->massStorage);
    EXPECT_EQ(disk->genericNode, c.sg);
    EXPECT_EQ(portCode(*disk->usb), c.code);
    station::PortDecode d = station::decodePortCode(portCode(*disk->usb));
    if (*c.cell) {
      ASSERT_EQ(d.outcome, station::PortDecodeOutcome::Found);
      EXPECT_EQ(std::to_string(d.hubPort) + "-" + std::to_string(d.port), c.cell);
      EXPECT_EQ(d.showPort, c.showPort);
    } else {
      EXPECT_NE(d.outcome, station::PortDecodeOutcome::Found);
    }
  }
}

TEST(UsbPort, FolderNames) {
  struct Case {
    const char* name;
    bool valid;
    int bus;
    std::vector<int> ports;
  } cases[] = {
      {"1-1", true, 1, {1}},      {"2-1.4.3", true, 2, {1, 4, 3}}, {"usb1", false, 0, {}},
      {"1-1:1.0", false, 0, {}},  {"1-", false, 0, {}},            {"1-1..2", false, 0, {}},
      {"-1", false, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<UsbPort> p = parseUsbPortFolder(c.name);
    ASSERT_EQ(p.has_value(), c.valid);
    if (!p) continue;
    EXPECT_EQ(p->bus, c.bus);
    EXPECT_EQ(p->ports, c.ports);
  }
}

TEST(DiskSafety, OnlyUnusedUsbMassStorageIsTaken) {
  SysfsTree tree;
  tree.hub("usb1/1-1", 4);
  tree.stick("usb1/1-1/1-1.1", "sdb");
  tree.stick("usb1/1-1/1-1.2", "sdc");
  tree.partition("sdc", "sdc1", 1);
  tree.stick("usb1/1-1/1-1.3", "sdd", 0, "03");  // a keyboard's interface, say
  tree.disk("pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", "sda", 1 << 20);
  tree.disk("virtual", "loop7", 4096);
  tree.stick("usb1/1-1/1-1.4", "sde");
  std::filesystem::create_directories(std::filesystem::path(tree.root()) / "class/block/sde/holders/dm-0");

  SafetyFacts facts;
  facts.systemDisk = "sda";
  facts.mounts = "/dev/sdc1 /media/x vfat rw 0 0\nproc /proc proc rw 0 0\n";
  facts.allowed = {"/dev/loop7"};
  struct Case {
    const char* disk;
    Refusal refusal;
  } cases[] = {
      {"sdb", Refusal::None},        {"sdc", Refusal::Mounted},
      {"sdd", Refusal::NotUsbMassStorage}, {"sda", Refusal::NotUsbMassStorage},
      {"loop7", Refusal::None},      {"sde", Refusal::InUse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disk);
    std::optional<BlockDisk> disk = readBlockDisk(tree.root(), c.disk);
    ASSERT_TRUE(disk);
    EXPECT_EQ(judgeDisk(*disk, facts), c.refusal);
  }
  // The system disk stays refused even when named as a test device; swap counts as mounted.
  facts.allowed.push_back("/dev/sda");
  EXPECT_EQ(judgeDisk(*readBlockDisk(tree.root(), "sda"), facts), Refusal::SystemDisk);
  facts.mounts.clear();
  facts.swaps = "Filename Type Size Used Priority\n/dev/sdc1 partition 1 0 -2\n";
  EXPECT_EQ(judgeDisk(*readBlockDisk(tree.root(), "sdc"), facts), Refusal::Mounted);
  // A partition is not a disk of its own.
  EXPECT_FALSE(readBlockDisk(tree.root(), "sdc1"));
  EXPECT_EQ(readBlockDisk(tree.root(), "sdc")->firstPartition, "sdc1");
}

TEST(BlockUeventParse, OnlyWholeDisksAddedChangedOrRemoved) {
  using A = BlockUevent::Action;
  using Props = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    Props props;
    std::optional<BlockUevent> event;
  } cases[] = {
      {{{"ACTION", "add"}, {"SUBSYSTEM", "block"}, {"DEVTYPE", "disk"}, {"DEVNAME", "sdb"}},
       BlockUevent{A::Add, "sdb"}},
      {{{"ACTION", "remove"}, {"SUBSYSTEM", "block"}, {"DEVTYPE", "disk"}, {"DEVNAME", "/dev/loop3"}},
       BlockUevent{A::Remove, "loop3"}},
      {{{"ACTION", "change"}, {"SUBSYSTEM", "block"}, {"DEVTYPE", "disk"},
        {"DEVPATH", "/devices/virtual/block/loop4"}},
       BlockUevent{A::Change, "loop4"}},
      {{{"ACTION", "add"}, {"SUBSYSTEM", "block"}, {"DEVTYPE", "partition"}, {"DEVNAME", "sdb1"}},
       std::nullopt},
      {{{"ACTION", "add"}, {"SUBSYSTEM", "scsi_generic"}, {"DEVNAME", "sg2"}}, std::nullopt},
      {{{"ACTION", "bind"}, {"SUBSYSTEM", "block"}, {"DEVTYPE", "disk"}, {"DEVNAME", "sdb"}},
       std::nullopt},
      {{{"ACTION", "add"}, {"SUBSYSTEM", "block"}, {"DEVTYPE", "disk"}}, std::nullopt},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(parseBlockUevent(cases[i].props), cases[i].event);
  }
}

// Arrivals take letters from E in order and give them back with the removal; a medium
// that goes (size 0) is a removal; refused disks are told once; disks that were there at
// start are left alone.
TEST(BlockPresenceTest, LettersFollowTheDisks) {
  using A = BlockUevent::Action;
  SysfsTree tree;
  tree.hub("usb1/1-1", 4);
  tree.stick("usb1/1-1/1-1.4", "sdx");  // there before the station started
  tree.stick("usb1/1-1/1-1.1", "sdb", 0, "08", 0);
  tree.stick("usb1/1-1/1-1.2", "sdc", 0, "08", 0);
  DriveTable table;
  auto facts = [] { return SafetyFacts{}; };
  tarn::testing::TempFolder claims("claims");
  BlockPresence presence(tree.root(), facts, table, claims.path().string());
  tree.disk("pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", "sda", 1 << 20);
  tree.stick("usb1/1-1/1-1.3", "sdd", 0, "08", 0);

  auto apply = [&](A action, const char* name) { return presence.apply({action, name}); };
  using N = std::vector<VolumeNotice>;
  EXPECT_EQ(apply(A::Change, "sdx"), N{});
  EXPECT_EQ(apply(A::Add, "sdb"), N{});  // no medium yet
  tree.setSize("sdb", 2048);
  EXPECT_EQ(apply(A::Change, "sdb"), (N{{VolumeChange::Arrival, "E"}}));
  EXPECT_EQ(apply(A::Change, "sdb"), N{});
  tree.setSize("sdc", 2048);
  EXPECT_EQ(apply(A::Add, "sdc"), (N{{VolumeChange::Arrival, "F"}}));
  EXPECT_EQ(table.find('F')->blockDevice, "/dev/sdc");
  EXPECT_EQ(table.find('F')->genericNode, "/dev/sg2");
  EXPECT_EQ(table.find('F')->portCode, 400112u);
  EXPECT_EQ(deviceToolEnvironment('F'), (std::vector<std::pair<std::string, std::string>>{}))
      << "only the station's own table reaches the device tool";
  EXPECT_EQ(apply(A::Remove, "sdb"), (N{{VolumeChange::Removal, "E"}}));
  EXPECT_FALSE(table.find('E'));
  tree.setSize("sdb", 2048);
  EXPECT_EQ(apply(A::Add, "sdb"), (N{{VolumeChange::Arrival, "E"}}));
  tree.setSize("sdc", 0);
  EXPECT_EQ(apply(A::Change, "sdc"), (N{{VolumeChange::Removal, "F"}}));

  VolumeNotice refused{VolumeChange::Refused, "", "/dev/sda", "not a USB mass-storage disk"};
  EXPECT_EQ(apply(A::Change, "sda"), N{refused});
  EXPECT_EQ(apply(A::Change, "sda"), N{});
  EXPECT_EQ(apply(A::Remove, "sda"), (N{{VolumeChange::RefusedRemoval, "", "/dev/sda", ""}}));
  EXPECT_EQ(apply(A::Remove, "sdx"), N{});
  EXPECT_EQ(apply(A::Remove, "sdd"), N{});
}

// Two stations on one machine (two sessions, each its own letters) never take the same
// disk: the first to see it claims it, the other refuses it until it has gone; and a disk
// whose medium was replaced between two looks is a removal and a new arrival.
TEST(BlockPresenceTest, OneStationPerDiskAndMedium) {
  using A = BlockUevent::Action;
  using N = std::vector<VolumeNotice>;
  SysfsTree tree;
  tree.hub("usb1/1-1", 4);
  tree.stick("usb1/1-1/1-1.1", "sdb", 0, "08", 0);
  tarn::testing::TempFolder claims("claims");
  auto facts = [] { return SafetyFacts{}; };
  DriveTable tableA, tableB;
  BlockPresence a(tree.root(), facts, tableA, claims.path().string());
  BlockPresence b(tree.root(), facts, tableB, claims.path().string());
  tree.setSize("sdb", 2048);
  const VolumeNotice taken{VolumeChange::Refused, "", "/dev/sdb", "taken by another station"};
  EXPECT_EQ(a.apply({A::Add, "sdb"}), (N{{VolumeChange::Arrival, "E"}}));
  EXPECT_EQ(b.apply({A::Add, "sdb"}), N{taken});
  EXPECT_EQ(a.apply({A::Remove, "sdb"}), (N{{VolumeChange::Removal, "E"}}));
  EXPECT_EQ(b.apply({A::Remove, "sdb"}), (N{{VolumeChange::RefusedRemoval, "", "/dev/sdb", ""}}));
  // the other way round once it is plugged again
  EXPECT_EQ(b.apply({A::Add, "sdb"}), (N{{VolumeChange::Arrival, "E"}}));
  EXPECT_EQ(a.apply({A::Add, "sdb"}), N{taken});

  std::ofstream(std::filesystem::canonical(tree.root() + "/class/block/sdb") / "diskseq") << "7\n";
  ASSERT_EQ(readBlockDisk(tree.root(), "sdb")->diskSeq, 7u);
  EXPECT_EQ(b.apply({A::Change, "sdb"}), (N{{VolumeChange::Removal, "E"}, {VolumeChange::Arrival, "E"}}));
  EXPECT_EQ(tableB.find('E')->diskSeq, 7u);
  EXPECT_EQ(b.apply({A::Change, "sdb"}), N{});
}

TEST(DriveTableTest, LettersFromEToZThenNone) {
  DriveTable table;
  for (char c = 'E'; c <= 'Z'; ++c)
    EXPECT_EQ(table.bind({std::string("d") + c, "", "", 0}), c);
  EXPECT_FALSE(table.bind({"extra", "", "", 0}));
  EXPECT_EQ(table.release("dG"), 'G');
  EXPECT_EQ(table.bind({"again", "", "", 0}), 'G');
  EXPECT_EQ(table.letterOf("again"), 'G');
  EXPECT_FALSE(table.release("unknown"));
}

TEST(DriveTableTest, DeviceToolIsToldTheBoundNode) {
  DriveTable& table = DriveTable::station();
  std::optional<char> a = table.bind({"sdq", "/dev/sdq", "/dev/sg9", 0});
  std::optional<char> b = table.bind({"loopq", "/dev/loopq", "", 0});
  ASSERT_TRUE(a && b);
  using Env = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(deviceToolEnvironment(*a), (Env{{std::string("DEVCMD_DRIVE_") + *a, "/dev/sg9"}}));
  EXPECT_EQ(deviceToolEnvironment(*b), (Env{{std::string("DEVCMD_DRIVE_") + *b, "/dev/loopq"}}));
  // A run keeps the disks its letters had when it began: the letter bound again to another
  // disk gives the run's tool no node, and a run that began after gets the new one.
  const uint64_t runs = stationArrivals()[*a - 'A'];
  ASSERT_NE(runs, 0u);
  EXPECT_EQ(deviceToolEnvironment(*a, runs), deviceToolEnvironment(*a));
  table.release("sdq");
  ASSERT_EQ(table.bind({"sdr", "/dev/sdr", "/dev/sg8", 0}), a);
  const Env none{{std::string("DEVCMD_DRIVE_") + *a, ""}};
  EXPECT_EQ(deviceToolEnvironment(*a, runs), none);
  EXPECT_EQ(deviceToolEnvironment(*a, stationArrivals()[*a - 'A']),
            (Env{{std::string("DEVCMD_DRIVE_") + *a, "/dev/sg8"}}));
  table.release("sdr");
  EXPECT_EQ(deviceToolEnvironment(*a, runs), none) << "pulled out: no drive";
  table.release("loopq");
  EXPECT_EQ(deviceToolEnvironment(*a), Env{});
}

}  // namespace

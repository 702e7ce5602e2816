#include "platform/linux/real_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/posix/fat_volumes.h"

#ifdef TARN_HAVE_UDEV
#include <libudev.h>
#endif

namespace platform {
namespace {

std::mutex gChoiceMutex;
std::optional<RealDeviceOptions> gChoice;

std::string readAll(const char* path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

linuxdev::SafetyFacts mountFacts() {
  linuxdev::SafetyFacts facts;
  facts.mounts = readAll("/proc/self/mounts");
  facts.swaps = readAll("/proc/swaps");
  return facts;
}

// The volume node of each bound drive, found in sysfs and the mount table once per
// arrival; every later operation only re-checks the node itself (see stillUsable).
class LinuxVolumeResolver {
 public:
  LinuxVolumeResolver(std::string sysRoot, DriveTable& table)
      : sysRoot_(std::move(sysRoot)), table_(table), known_(std::make_shared<Known>()) {
    // The run begins: the disks its letters have now are the only ones it may touch.
    for (char c = DriveTable::kFirstLetter; c <= 'Z'; ++c)
      if (std::optional<BoundDrive> bound = table_.find(c)) known_->pinned[c] = bound->arrival;
  }
  std::string operator()(char drive) const {
    std::optional<BoundDrive> bound = table_.find(drive);
    if (!bound) return "";
    Volume volume;
    {
      std::lock_guard<std::mutex> lock(known_->mutex);
      // A letter bound to another disk since the run began is not the run's drive.
      auto pin = known_->pinned.emplace(drive, bound->arrival).first;
      if (pin->second != bound->arrival) return "";
      auto it = known_->volumes.find(drive);
      if (it != known_->volumes.end() && it->second.arrival == bound->arrival) volume = it->second;
    }
    if (volume.arrival == 0) {
      std::optional<Volume> found = look(*bound);
      if (!found) return "";
      volume = *found;
      std::lock_guard<std::mutex> lock(known_->mutex);
      known_->volumes[drive] = volume;
    }
    return stillUsable(volume) ? volume.node : "";
  }

 private:
  struct Volume {
    uint64_t arrival = 0;
    std::string node;       // what the tools get: the first partition or the disk
    std::string diskNode;   // "/dev/sdb"
    dev_t device = 0;       // the disk's device number when it arrived
    uint64_t diskSeq = 0;   // the medium it held when it arrived; 0 unknown
  };
  struct Known {
    std::mutex mutex;
    std::map<char, Volume> volumes;
    std::map<char, uint64_t> pinned;  // each letter's arrival when the run began
  };

  std::optional<Volume> look(const BoundDrive& bound) const {
    std::optional<linuxdev::BlockDisk> disk = linuxdev::readBlockDisk(sysRoot_, bound.name);
    if (!disk || disk->sectors == 0) return std::nullopt;
    // Another medium in the node since the disk arrived (a loop device attached to another
    // file): not the disk that arrived.
    if (bound.diskSeq && disk->diskSeq != bound.diskSeq) return std::nullopt;
    // Mounted after it arrived: the station still keeps its hands off.
    if (linuxdev::diskMounted(*disk, mountFacts())) return std::nullopt;
    Volume v;
    v.arrival = bound.arrival;
    v.diskNode = "/dev/" + disk->name;
    v.node = "/dev/" + (disk->firstPartition.empty() ? disk->name : disk->firstPartition);
    v.diskSeq = disk->diskSeq;
    struct stat st;
    if (::stat(v.diskNode.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    v.device = st.st_rdev;
    return v;
  }

  // A few system calls instead of sysfs and the mount table: the disk's node is still the
  // same device with the same medium in it, still holds a medium, and nobody has claimed
  // it exclusively (a mount of it or of one of its partitions, swap, another formatter).
  static bool stillUsable(const Volume& v) {
    int fd = ::open(v.diskNode.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    uint64_t bytes = 0;
    bool ok = fstat(fd, &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == v.device &&
              ioctl(fd, BLKGETSIZE64, &bytes) == 0 && bytes > 0;
#ifdef BLKGETDISKSEQ
    uint64_t seq = 0;
    if (ok && v.diskSeq && ioctl(fd, BLKGETDISKSEQ, &seq) == 0) ok = seq == v.diskSeq;
#endif
    ::close(fd);
    return ok;
  }

  std::string sysRoot_;
  DriveTable& table_;
  std::shared_ptr<Known> known_;  // the copies a volume seam makes share it
};

class LinuxTopology : public UsbTopology {
 public:
  explicit LinuxTopology(DriveTable& table) : table_(table) {}
  int serialIndex(char drive) override { return table_.find(drive) ? drive - 'A' : -1; }
  std::optional<uint32_t> portCode(char drive) override {
    std::optional<BoundDrive> bound = table_.find(drive);
    return bound ? bound->portCode : 0u;
  }

 private:
  DriveTable& table_;
};

#ifndef TARN_HAVE_UDEV
// Built without libudev: no real player is ever heard of.
class NoVolumeEvents : public VolumeEvents {
 public:
  std::vector<VolumeNotice> poll() override { return {}; }
};
#else
class UdevVolumeEvents : public VolumeEvents {
 public:
  UdevVolumeEvents(const RealDeviceOptions& options, DriveTable& table)
      : presence_(options.sysRoot,
                  [options] { return linuxdev::systemSafetyFacts(options.sysRoot, options.allowed); },
                  table,
                  options.claimFolder.empty() ? machineLockFolder() : options.claimFolder) {
    udev_ = udev_new();
    if (!udev_) return;
    // Without a udev daemon its source stays silent; the kernel's own events are there.
    struct stat st;
    const char* source = ::stat("/run/udev/control", &st) == 0 ? "udev" : "kernel";
    monitor_ = udev_monitor_new_from_netlink(udev_, source);
    if (!monitor_) return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
      monitor_ = udev_monitor_unref(monitor_);
      return;
    }
    int fd = udev_monitor_get_fd(monitor_);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  ~UdevVolumeEvents() override {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
  }
  UdevVolumeEvents(const UdevVolumeEvents&) = delete;
  UdevVolumeEvents& operator=(const UdevVolumeEvents&) = delete;

  std::vector<VolumeNotice> poll() override {
    std::vector<VolumeNotice> out;
    if (!monitor_) return out;
    while (udev_device* dev = udev_monitor_receive_device(monitor_)) {
      std::vector<std::pair<std::string, std::string>> properties;
      for (udev_list_entry* e = udev_device_get_properties_list_entry(dev); e;
           e = udev_list_entry_get_next(e)) {
        const char* value = udev_list_entry_get_value(e);
        properties.emplace_back(udev_list_entry_get_name(e), value ? value : "");
      }
      udev_device_unref(dev);
      if (std::optional<BlockUevent> event = parseBlockUevent(properties)) {
        std::vector<VolumeNotice> notices = presence_.apply(*event);
        out.insert(out.end(), notices.begin(), notices.end());
      }
    }
    return out;
  }

 private:
  BlockPresence presence_;
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};
#endif

}  // namespace

void chooseRealDevices(RealDeviceOptions options) {
  std::lock_guard<std::mutex> lock(gChoiceMutex);
  gChoice = std::move(options);
}

std::optional<RealDeviceOptions> chosenRealDevices() {
  std::lock_guard<std::mutex> lock(gChoiceMutex);
  return gChoice;
}

std::optional<BlockUevent> parseBlockUevent(
    const std::vector<std::pair<std::string, std::string>>& properties) {
  std::string action, subsystem, devtype, devname, devpath;
  for (const auto& [key, value] : properties) {
    if (key == "ACTION") action = value;
    else if (key == "SUBSYSTEM") subsystem = value;
    else if (key == "DEVTYPE") devtype = value;
    else if (key == "DEVNAME") devname = value;
    else if (key == "DEVPATH") devpath = value;
  }
  if (subsystem != "block" || devtype != "disk") return std::nullopt;
  BlockUevent event;
  if (action == "add") event.action = BlockUevent::Action::Add;
  else if (action == "change") event.action = BlockUevent::Action::Change;
  else if (action == "remove") event.action = BlockUevent::Action::Remove;
  else return std::nullopt;
  std::string name = devname.empty() ? devpath : devname;
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.empty()) return std::nullopt;
  event.name = name;
  return event;
}

BlockPresence::BlockPresence(std::string sysRoot,
                             std::function<linuxdev::SafetyFacts()> facts, DriveTable& table,
                             std::string claimFolder)
    : sysRoot_(std::move(sysRoot)),
      facts_(std::move(facts)),
      table_(table),
      claimFolder_(std::move(claimFolder)) {
  if (DIR* d = opendir((sysRoot_ + "/class/block").c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::optional<linuxdev::BlockDisk> disk = linuxdev::readBlockDisk(sysRoot_, e->d_name);
      if (disk && disk->sectors > 0) before_.insert(disk->name);
    }
    closedir(d);
  }
}

std::vector<VolumeNotice> BlockPresence::apply(const BlockUevent& event) {
  std::optional<linuxdev::BlockDisk> disk;
  if (event.action != BlockUevent::Action::Remove)
    disk = linuxdev::readBlockDisk(sysRoot_, event.name);
  const bool present = disk && disk->sectors > 0;
  const std::string device = "/dev/" + event.name;
  if (before_.count(event.name)) {
    if (!present) before_.erase(event.name);
    return {};
  }
  std::optional<char> boundTo = table_.letterOf(event.name);
  bool bound = boundTo.has_value();
  const bool refused = refused_.count(event.name) > 0;
  std::vector<VolumeNotice> out;
  if (present && bound && table_.find(*boundTo)->diskSeq != disk->diskSeq) {
    // Another medium in the node between two looks: the first one went, this one comes.
    claims_.erase(event.name);
    table_.release(event.name);
    out.push_back({VolumeChange::Removal, std::string(1, *boundTo)});
    bound = false;
  }
  if (present && !bound && !refused) {
    linuxdev::Refusal why = linuxdev::judgeDisk(*disk, facts_());
    std::unique_ptr<DeviceClaim> claim;
    if (why == linuxdev::Refusal::None && !(claim = claimDevice(event.name, claimFolder_)))
      why = linuxdev::Refusal::OtherStation;
    if (why == linuxdev::Refusal::None) {
      BoundDrive drive{disk->name, device, disk->genericNode,
                       disk->usb ? linuxdev::portCode(*disk->usb) : 0u, disk->diskSeq};
      if (std::optional<char> letter = table_.bind(std::move(drive))) {
        claims_[event.name] = std::move(claim);
        out.push_back({VolumeChange::Arrival, std::string(1, *letter)});
        return out;
      }
      why = linuxdev::Refusal::NoLetter;
    }
    refused_.insert(event.name);
    out.push_back({VolumeChange::Refused, "", device, linuxdev::refusalText(why)});
    return out;
  }
  if (!present && bound) {
    claims_.erase(event.name);
    std::optional<char> letter = table_.release(event.name);
    return {{VolumeChange::Removal, std::string(1, *letter)}};
  }
  if (!present && refused) {
    refused_.erase(event.name);
    return {{VolumeChange::RefusedRemoval, "", device, ""}};
  }
  return {};
}

std::unique_ptr<VolumeEvents> makeLinuxVolumeEvents(const RealDeviceOptions& options,
                                                    DriveTable& table) {
#ifdef TARN_HAVE_UDEV
  return std::make_unique<UdevVolumeEvents>(options, table);
#else
  (void)options;
  (void)table;
  return std::make_unique<NoVolumeEvents>();
#endif
}

std::unique_ptr<Volumes> makeLinuxVolumes(const std::string& sysRoot, DriveTable& table) {
  return makeFatVolumes(LinuxVolumeResolver(sysRoot, table));
}

std::unique_ptr<UsbTopology> makeLinuxTopology(DriveTable& table) {
  return std::make_unique<LinuxTopology>(table);
}

// --- the seams' factories: simulated players unless real ones were chosen ---

namespace {
const char* simulationRoot() {
  if (chosenRealDevices()) return nullptr;
  const char* root = std::getenv("TARN_SIM");
  return root && *root ? root : nullptr;
}
}  // namespace

std::unique_ptr<Volumes> makeVolumes() {
  if (const char* root = simulationRoot()) return makeSimVolumes(root);
  return makeLinuxVolumes(chosenRealDevices().value_or(RealDeviceOptions{}).sysRoot);
}

std::unique_ptr<UsbTopology> makeUsbTopology() {
  if (const char* root = simulationRoot()) return makeSimTopology(root);
  return makeLinuxTopology();
}

std::unique_ptr<VolumeEvents> makeVolumeEvents() {
  if (const char* root = simulationRoot()) return makeSimVolumeEvents(root);
  return makeLinuxVolumeEvents(chosenRealDevices().value_or(RealDeviceOptions{}));
}

}  // namespace platform

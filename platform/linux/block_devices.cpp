#include "platform/linux/block_devices.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform::linuxdev {
namespace {

std::string readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r'))
    line.pop_back();
  return line;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string realPath(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

std::string baseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

bool allDigits(const std::string& s) {
  if (s.empty() || s.size() > 6) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The USB interface folder of a port, "1-1.3:1.0".
bool isInterfaceFolder(const std::string& name) {
  size_t colon = name.find(':');
  return colon != std::string::npos && parseUsbPortFolder(name.substr(0, colon)).has_value();
}

std::optional<UsbPort> findUsbPort(const std::string& devicePath, const std::string& root) {
  for (std::string dir = devicePath; dir.size() > root.size(); dir = parentOf(dir)) {
    std::string name = baseName(dir);
    if (!isInterfaceFolder(name)) continue;
    std::string portDir = parentOf(dir);
    std::optional<UsbPort> port = parseUsbPortFolder(baseName(portDir));
    if (!port) return std::nullopt;
    port->massStorage = readFirstLine(dir + "/bInterfaceClass") == "08";
    if (port->ports.size() > 1) port->hubPorts = std::atoi(readFirstLine(parentOf(portDir) + "/maxchild").c_str());
    return port;
  }
  return std::nullopt;
}

bool namesDisk(const std::string& device, const BlockDisk& disk) {
  if (device == "/dev/" + disk.name) return true;
  for (const std::string& p : disk.partitions)
    if (device == "/dev/" + p) return true;
  return false;
}

// The first field of every line of a mount or swap table, device links followed.
bool tableNamesDisk(const std::string& table, const BlockDisk& disk) {
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device;
    fields >> device;
    if (device.rfind("/dev/", 0) != 0) continue;
    if (namesDisk(device, disk)) return true;
    std::string real = realPath(device);
    if (!real.empty() && namesDisk(real, disk)) return true;
  }
  return false;
}

}  // namespace

std::optional<UsbPort> parseUsbPortFolder(const std::string& name) {
  size_t dash = name.find('-');
  if (dash == std::string::npos || !allDigits(name.substr(0, dash))) return std::nullopt;
  UsbPort port;
  port.folder = name;
  port.bus = std::atoi(name.substr(0, dash).c_str());
  std::string rest = name.substr(dash + 1);
  size_t start = 0;
  while (true) {
    size_t dot = rest.find('.', start);
    std::string part = rest.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (!allDigits(part)) return std::nullopt;
    port.ports.push_back(std::atoi(part.c_str()));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return port;
}

std::optional<BlockDisk> readBlockDisk(const std::string& sysRoot, const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  const std::string entry = sysRoot + "/class/block/" + name;
  const std::string device = realPath(entry);
  if (device.empty() || exists(device + "/partition")) return std::nullopt;
  BlockDisk disk;
  disk.name = name;
  disk.sectors = std::strtoull(readFirstLine(device + "/size").c_str(), nullptr, 10);
  disk.readOnly = readFirstLine(device + "/ro") == "1";
  // A new number for every medium the node takes (kernel 5.15 on): a loop device attached
  // to another file, a card changed in its reader.
  disk.diskSeq = std::strtoull(readFirstLine(device + "/diskseq").c_str(), nullptr, 10);
  for (const std::string& child : entries(device)) {
    std::string number = readFirstLine(device + "/" + child + "/partition");
    if (number.empty()) continue;
    disk.partitions.push_back(child);
    if (number == "1") disk.firstPartition = child;
  }
  disk.hasHolders = !entries(device + "/holders").empty();
  std::vector<std::string> sg = entries(device + "/device/scsi_generic");
  if (!sg.empty()) disk.genericNode = "/dev/" + sg.front();
  disk.usb = findUsbPort(device, realPath(sysRoot));
  return disk;
}

uint32_t portCode(const UsbPort& port) {
  if (port.ports.empty()) return 0;
  const int own = port.ports.back();
  if (own < 1 || own > 9) return 0;
  if (port.ports.size() == 1) return static_cast<uint32_t>(own);
  const int hubPlace = port.ports[port.ports.size() - 2];
  if (hubPlace < 1 || hubPlace > 9 || port.hubPorts < 1) return 0;
  const int size = port.hubPorts > 9 ? 9 : port.hubPorts;
  return static_cast<uint32_t>(size * 100000 + hubPlace * 100 + hubPlace * 10 + own);
}

Refusal judgeDisk(const BlockDisk& disk, const SafetyFacts& facts) {
  bool allowed = false;
  for (const std::string& a : facts.allowed) allowed = allowed || a == "/dev/" + disk.name;
  if (!allowed && (!disk.usb || !disk.usb->massStorage)) return Refusal::NotUsbMassStorage;
  if (!facts.systemDisk.empty() && disk.name == facts.systemDisk) return Refusal::SystemDisk;
  if (diskMounted(disk, facts)) return Refusal::Mounted;
  if (disk.hasHolders) return Refusal::InUse;
  return Refusal::None;
}

bool diskMounted(const BlockDisk& disk, const SafetyFacts& facts) {
  return tableNamesDisk(facts.mounts, disk) || tableNamesDisk(facts.swaps, disk);
}

std::string refusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::None: return "";
    case Refusal::NotUsbMassStorage: return "not a USB mass-storage disk";
    case Refusal::SystemDisk: return "system disk";
    case Refusal::Mounted: return "mounted";
    case Refusal::InUse: return "in use by another device";
    case Refusal::NoLetter: return "no free drive letter";
    case Refusal::OtherStation: return "taken by another station";
  }
  return "";
}

SafetyFacts systemSafetyFacts(const std::string& sysRoot, std::vector<std::string> allowed) {
  SafetyFacts facts;
  facts.mounts = readAll("/proc/self/mounts");
  facts.swaps = readAll("/proc/swaps");
  facts.allowed = std::move(allowed);
  struct stat st;
  if (stat("/", &st) == 0) {
    std::string dev = realPath(sysRoot + "/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                               std::to_string(minor(st.st_dev)));
    if (!dev.empty()) facts.systemDisk = baseName(exists(dev + "/partition") ? parentOf(dev) : dev);
  }
  return facts;
}

}  // namespace platform::linuxdev

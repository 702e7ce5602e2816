// A fake sysfs tree under a scratch folder: devices as folders, class/block entries as
// relative links, the way the kernel lays out a USB stick, a hub chain or an internal disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace tarn::test {

namespace fs = std::filesystem;

class SysfsTree {
 public:
  SysfsTree() {
    root_ = fs::temp_directory_path() /
            ("tarn_sysfs_" + std::to_string(getpid()) + "_" + std::to_string(std::random_device{}()));
    fs::create_directories(root_ / "class" / "block");
  }
  ~SysfsTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  SysfsTree(const SysfsTree&) = delete;
  SysfsTree& operator=(const SysfsTree&) = delete;

  std::string root() const { return root_.string(); }

  void file(const fs::path& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << text << "\n";
  }

  // A hub folder (e.g. "usb1/1-1") with its port count.
  void hub(const std::string& path, int ports) {
    file("devices/pci0000:00/0000:00:14.0/" + path + "/maxchild", std::to_string(ports));
  }

  // A disk at `devicePath` (below devices/), linked from class/block/<name>.
  void disk(const std::string& devicePath, const std::string& name, uint64_t sectors,
            const std::string& sg = "") {
    fs::path dir = fs::path("devices") / devicePath / "block" / name;
    file(dir / "size", std::to_string(sectors));
    file(dir / "ro", "0");
    fs::create_directories(root_ / dir / "holders");
    if (!sg.empty()) fs::create_directories(root_ / dir.parent_path().parent_path() / "scsi_generic" / sg);
    if (!sg.empty()) fs::create_symlink("../..", root_ / dir / "device");
    link(name, dir);
  }

  void partition(const std::string& diskName, const std::string& name, int number) {
    fs::path disk = fs::canonical(root_ / "class" / "block" / diskName);
    fs::path dir = disk / name;
    fs::create_directories(dir);
    std::ofstream(dir / "partition") << number << "\n";
    std::ofstream(dir / "size") << 1000 << "\n";
    link(name, fs::relative(dir, root_));
  }

  // A USB stick: mass-storage interface <port>:1.0 under the port folder `portPath`.
  void stick(const std::string& portPath, const std::string& name, int lun = 0,
             const std::string& cls = "08", uint64_t sectors = 2048) {
    std::string port = fs::path(portPath).filename().string();
    std::string iface = "devices/pci0000:00/0000:00:14.0/" + portPath + "/" + port + ":1.0";
    file(iface + "/bInterfaceClass", cls);
    disk(iface.substr(8) + "/host6/target6:0:0/6:0:0:" + std::to_string(lun), name, sectors,
         "sg" + std::to_string(lun + 2));
  }

  void setSize(const std::string& name, uint64_t sectors) {
    std::ofstream(fs::canonical(root_ / "class" / "block" / name) / "size") << sectors << "\n";
  }

 private:
  void link(const std::string& name, const fs::path& rel) {
    fs::create_symlink(fs::path("../..") / rel, root_ / "class" / "block" / name);
  }
  fs::path root_;
};

}  // namespace tarn::test

#include "sim/usb/gadget_linux.h"

#include <linux/usb/functionfs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "base/byte_order.h"

namespace tarnsim::usb {
namespace {

void put32(std::string& s, uint32_t v) {
  uint8_t b[4];
  tarn::putLe32(b, v);
  s.append(reinterpret_cast<const char*>(b), 4);
}

// One speed's descriptors: the mass-storage interface and its two bulk endpoints.
void speedDescriptors(std::string& s, uint16_t maxPacket) {
  const uint8_t interface[9] = {9, 4, 0, 0, 2, 0x08, 0x06, 0x50, 1};
  s.append(reinterpret_cast<const char*>(interface), sizeof interface);
  for (uint8_t address : {uint8_t(0x81), uint8_t(0x02)}) {
    const uint8_t ep[7] = {7, 5, address, 0x02, uint8_t(maxPacket), uint8_t(maxPacket >> 8), 0};
    s.append(reinterpret_cast<const char*>(ep), sizeof ep);
  }
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path);
  f << text;
  f.flush();
  return bool(f);
}

std::string hex4(uint16_t v) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%04x", v);
  return b;
}

}  // namespace

std::string functionDescriptors() {
  std::string body;
  put32(body, 3);  // full-speed count
  put32(body, 3);  // high-speed count
  speedDescriptors(body, 64);
  speedDescriptors(body, 512);
  std::string s;
  put32(s, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  put32(s, uint32_t(12 + body.size()));
  put32(s, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
  return s + body;
}

std::string functionStrings() {
  const std::string text = std::string("Mass Storage") + '\0';
  std::string s;
  put32(s, FUNCTIONFS_STRINGS_MAGIC);
  put32(s, uint32_t(16 + 2 + text.size()));
  put32(s, 1);  // strings
  put32(s, 1);  // languages
  s += std::string("\x09\x04", 2);  // US English
  return s + text;
}

bool Gadget::create(const Identity& id, const std::string& mountDir, std::string& error) {
  const std::string g = dir();
  const std::string fn = g + "/functions/ffs." + name_;
  const std::string cfg = g + "/configs/c.1";
  auto fail = [&](const std::string& what) {
    error = what + ": " + std::strerror(errno);
    remove();
    return false;
  };
  created_ = true;
  if (::mkdir(g.c_str(), 0755) != 0) return fail("cannot make " + g);
  if (!writeFile(g + "/idVendor", hex4(id.vendorId)) || !writeFile(g + "/idProduct", hex4(id.productId)) ||
      !writeFile(g + "/bcdUSB", "0x0200"))
    return fail("cannot set the identity of " + g);
  if (::mkdir((g + "/strings/0x409").c_str(), 0755) != 0) return fail("cannot make the strings");
  writeFile(g + "/strings/0x409/manufacturer", id.manufacturer);
  writeFile(g + "/strings/0x409/product", id.product);
  writeFile(g + "/strings/0x409/serialnumber", id.serial);
  if (::mkdir(cfg.c_str(), 0755) != 0 || ::mkdir((cfg + "/strings/0x409").c_str(), 0755) != 0)
    return fail("cannot make the configuration");
  writeFile(cfg + "/strings/0x409/configuration", "Mass Storage");
  writeFile(cfg + "/MaxPower", "100");
  // The function first: its file system type exists only once one is made.
  if (::mkdir(fn.c_str(), 0755) != 0) return fail("cannot make " + fn + " (usb_f_fs loaded?)");
  if (::symlink(fn.c_str(), (cfg + "/ffs." + name_).c_str()) != 0) return fail("cannot link the function");
  ::mkdir(mountDir.c_str(), 0755);
  if (::mount(name_.c_str(), mountDir.c_str(), "functionfs", 0, nullptr) != 0)
    return fail("cannot mount functionfs at " + mountDir);
  mount_ = mountDir;
  return true;
}

bool Gadget::bind(bool on) {
  if (on == bound_) return true;
  if (!writeFile(dir() + "/UDC", on ? udc_ : "\n")) return false;
  bound_ = on;
  return true;
}

void Gadget::remove() {
  if (!created_) return;
  created_ = false;
  bind(false);
  const std::string g = dir();
  ::unlink((g + "/configs/c.1/ffs." + name_).c_str());
  ::rmdir((g + "/configs/c.1/strings/0x409").c_str());
  ::rmdir((g + "/configs/c.1").c_str());
  if (!mount_.empty()) {
    ::umount2(mount_.c_str(), MNT_DETACH);
    ::rmdir(mount_.c_str());
  }
  ::rmdir((g + "/functions/ffs." + name_).c_str());
  ::rmdir((g + "/strings/0x409").c_str());
  ::rmdir(g.c_str());
}

}  // namespace tarnsim::usb

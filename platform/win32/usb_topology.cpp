// The registry walk, read only: the mount record of the drive, then the USB storage
// instances of the player's class whose parent-ID prefix matches it.
#include "platform/usb_topology.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

class RegistryTopology : public UsbTopology {
 public:
  RegistryTopology(RegistryRoot root, std::string base)
      : root_(root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER),
        base_(std::move(base)) {}

  int serialIndex(char drive) override {
    std::string prefix = parentIdPrefix(mountedName(drive));
    if (prefix.empty()) return -1;  // nothing can match an empty prefix
    for (const char* key : kUsbStorKeys) {
      int index = -1;
      if (searchClass(base_ + key, prefix, index)) return index;
    }
    return -1;
  }

 private:
  std::string mountedName(char drive) {
    uint8_t buf[512] = {};
    HKEY key;
    if (RegOpenKeyExA(root_, (base_ + kMountedDevicesKey).c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
      DWORD size = sizeof buf;
      // A missing value leaves the buffer empty.
      RegQueryValueExA(key, mountedDeviceValueName(drive).c_str(), nullptr, nullptr, buf,
                       &size);
      RegCloseKey(key);
    }
    return mountedDeviceName(buf, sizeof buf);
  }

  // True when an instance of the class matched; `index` is then its serial index.
  bool searchClass(const std::string& path, const std::string& prefix, int& index) {
    HKEY cls;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &cls) != ERROR_SUCCESS) return false;
    bool found = false;
    for (DWORD i = 0; !found; ++i) {
      char name[1001] = {};
      DWORD nameLen = 1000;
      if (RegEnumKeyExA(cls, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      HKEY inst;
      if (RegOpenKeyExA(cls, name, 0, KEY_READ, &inst) != ERROR_SUCCESS) continue;
      char value[1025] = {};
      DWORD size = 1024;
      DWORD type = 0;
      if (RegQueryValueExA(inst, kParentIdPrefixValue, nullptr, &type,
                           reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
          (type == REG_SZ || type == REG_EXPAND_SZ) && prefix == value) {
        index = serialIndexOfInstance(name);
        found = true;
      }
      RegCloseKey(inst);
    }
    RegCloseKey(cls);
    return found;
  }

  HKEY root_;
  std::string base_;
};

}  // namespace

std::unique_ptr<UsbTopology> makeRegistryTopology(RegistryRoot root, std::string base) {
  return std::make_unique<RegistryTopology>(root, std::move(base));
}

std::unique_ptr<UsbTopology> makeUsbTopology() {
  return makeRegistryTopology(RegistryRoot::LocalMachine, "");
}

}  // namespace platform

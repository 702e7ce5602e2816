// The registry walk from a drive letter to its serial index, on a scratch tree of keys that
// the test builds under the current user.
#include "platform/usb_topology.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

const std::string kBase = "Software\\TarnTest\\";

void setBinary(const std::string& key, const std::string& name, const std::u16string& text) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(text.data()),
                 static_cast<DWORD>(text.size() * 2));
  RegCloseKey(k);
}

void setString(const std::string& key, const std::string& name, const std::string& value) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
}

void addInstance(int controlSet, const std::string& instance, const std::string& prefix) {
  std::string cls = platform::kUsbStorKeys[controlSet];
  std::string key = kBase + cls + instance;
  if (prefix.empty()) {
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                    nullptr);
    RegCloseKey(k);
  } else {
    setString(key, "ParentIdPrefix", prefix);
  }
}

std::u16string mountName(const char16_t* prefix) {
  return std::u16string(u"\\??\\STORAGE#RemovableMedia#") + prefix +
         u"&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
}

class RegistryWalk : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TarnTest"); }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TarnTest"); }
};

TEST_F(RegistryWalk, FromDriveLetterToSerialIndex) {
  std::string mounted = kBase + "SYSTEM\\MountedDevices";
  setBinary(mounted, "\\DosDevices\\E:", mountName(u"7&2d2d2d2d&0"));
  setBinary(mounted, "\\DosDevices\\F:", mountName(u"7&11aa22bb&0"));
  setBinary(mounted, "\\DosDevices\\G:", mountName(u"7&33cc44dd&0"));
  setBinary(mounted, "\\DosDevices\\H:", mountName(u"7&55ee66ff&0"));
  setBinary(mounted, "\\DosDevices\\C:", u"\\??\\Volume{00000000-0000-0000-0000-000000000000}");

  addInstance(0, "0123456789AA&0", "7&99999999&0");
  addInstance(0, "0123456789AD&0", "7&2d2d2d2d&0");
  addInstance(0, "0123456789AB&0", "");               // no prefix value: passed over
  addInstance(0, "0123456789AC&0", "7&2D2D2D2D&0");   // another case: no match
  addInstance(2, "0123456789AF&0", "7&11aa22bb&0");   // only in the third control set
  addInstance(1, "0123456789AG&0", "7&33cc44dd&0");   // the second set is searched first
  addInstance(3, "0123456789AH&0", "7&33cc44dd&0");
  addInstance(3, "short", "7&55ee66ff&0");

  auto topology = platform::makeRegistryTopology(platform::RegistryRoot::CurrentUser, kBase);
  EXPECT_EQ(topology->serialIndex('E'), 3);   // 'D' - 'A'
  EXPECT_EQ(topology->serialIndex('F'), 5);   // 'F' - 'A'
  EXPECT_EQ(topology->serialIndex('G'), 6);
  EXPECT_EQ(topology->serialIndex('H'), -1);  // instance name too short
  EXPECT_EQ(topology->serialIndex('C'), -1);  // not a removable-media name
  EXPECT_EQ(topology->serialIndex('Q'), -1);  // no mount record
}

TEST_F(RegistryWalk, NoStorageClassAnywhere) {
  setBinary(kBase + "SYSTEM\\MountedDevices", "\\DosDevices\\E:", mountName(u"7&2d2d2d2d&0"));
  auto topology = platform::makeRegistryTopology(platform::RegistryRoot::CurrentUser, kBase);
  EXPECT_EQ(topology->serialIndex('E'), -1);
  auto none = platform::makeRegistryTopology(platform::RegistryRoot::CurrentUser, "Software\\NoSuch\\");
  EXPECT_EQ(none->serialIndex('E'), -1);
}

}  // namespace

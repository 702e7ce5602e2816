#include "station/ops/flash_id.h"

#include "base/ascii.h"
#include "base/byte_order.h"
#include "platform/file_read.h"
#include "platform/file_search.h"
#include "platform/program_folder.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

namespace station {
namespace {

constexpr char kSep = platform::kPathSeparator;

bool hasTxtExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  return tarn::equalsIgnoringCase(name.substr(dot), ".txt");
}

// The *.txt files of the folder in name order (the system's enumeration order differs
// between file systems; name order does not).
std::vector<std::string> tableCandidates(const std::string& miscDir) {
  std::vector<std::string> names;
  for (const auto& e : platform::listFolder(miscDir)) {
    if (e.hidden || e.directory || e.name == "." || e.name == "..") continue;
    if (hasTxtExtension(e.name)) names.push_back(e.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

uint32_t storedFlashId(const std::string& path) {
  std::FILE* f = platform::openRegularFile(path);
  if (!f) return 0;
  unsigned char head[256];
  size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  if (n < 128) return 0;
  return tarn::getBe32(head + 122);
}

bool flashIdMatches(uint32_t stored, uint32_t device) {
  return stored != 0 && (stored & 0xFFFFFF7Fu) == (device & 0xFFFFFF7Fu);
}

std::string findConfigTable(const std::string& miscDir, uint32_t flashId,
                            const std::function<void()>& pump) {
  for (const auto& name : tableCandidates(miscDir)) {
    uint32_t stored = storedFlashId(miscDir + kSep + name);
    if (pump) pump();
    if (flashIdMatches(stored, flashId)) return name;
  }
  return "0";
}

bool haveConfigTables(const std::string& miscDir) {
  for (const auto& name : tableCandidates(miscDir))
    if (storedFlashId(miscDir + kSep + name) != 0) return true;
  return false;
}

std::string flashDisplayName(const ProfileLookup& lookup, const std::string& iniPath,
                             const std::string& table, uint32_t chipCount) {
  std::string count = std::to_string(chipCount);
  std::string name = lookup(iniPath, table, count, "");
  if (!name.empty()) return name;
  name = lookup(iniPath, table, "1", "");
  if (!name.empty()) return name + " x " + count;
  return "default";
}

std::string identifyFlash(RunReporter& report, const std::string& miscDir, uint32_t flashId,
                          uint32_t chipCount, int slot, const ProfileLookup& lookup) {
  std::string table = findConfigTable(miscDir, flashId, [&report] { report.pump(); });
  report.setFlashName(slot, flashDisplayName(lookup, miscDir + kSep + "flash.ini", table, chipCount));
  if (report.slotDrive(slot) == 0) report.setFlashName(slot, "");
  return table;
}

}  // namespace station

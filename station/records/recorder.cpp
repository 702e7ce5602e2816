#include "station/records/recorder.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include "platform/host_name.h"
#include "platform/path_name.h"
#include "station/ops/device_tool.h"

namespace station::records {

// How long a failed run's record waits to hear that its player was pulled.
constexpr int kRemovalGraceMs = 500;

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string fileCrc32(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  if (ec) return {};
  auto time = fs::last_write_time(path, ec);
  if (ec) return {};
  // A firmware image is read once per change, not once per player.
  using Key = std::tuple<std::string, uintmax_t, fs::file_time_type>;
  static std::mutex mu;
  static std::map<Key, std::string> known;
  Key key{path, size, time};
  {
    std::lock_guard<std::mutex> lock(mu);
    auto it = known.find(key);
    if (it != known.end()) return it->second;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  uint32_t crc = 0;
  std::array<char, 65536> buf;
  while (in) {
    in.read(buf.data(), buf.size());
    crc = crc32(buf.data(), static_cast<size_t>(in.gcount()), crc);
  }
  std::string hex = hex8(crc);
  std::lock_guard<std::mutex> lock(mu);
  if (known.size() > 64) known.clear();
  known[key] = hex;
  return hex;
}

ProductionRecorder::ProductionRecorder(const RunReporter& report, const RunSettings& settings,
                                       RecorderContext context)
    : report_(report), settings_(settings), context_(std::move(context)) {}

void ProductionRecorder::runBegan(char drive, int slot) {
  began_ = true;
  record_.id = newRecordId();
  record_.station = context_.station;
  record_.slot = slot;
  record_.drive = std::string(1, drive);
  record_.startedAt = utcNow();
  record_.label = settings_.label();
  auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
  record_.settings = {
      {"chkFormat", flag(settings_.format())},
      {"chkBlankCheck", flag(settings_.blankCheck())},
      {"chkISOupgrade", flag(settings_.isoUpgrade())},
      {"chkFwUpgrade", flag(settings_.firmwareUpgrade())},
      {"chkParityCheck", flag(settings_.parityCheck())},
      {"SystemAreachk", flag(settings_.systemAreaFixed())},
      {"SystemAreaComBo", std::to_string(settings_.systemAreaIndex())},
      {"sdkBondingId", std::to_string(settings_.sdkBondingId())},
  };
}

void ProductionRecorder::closeStep() {
  if (step_.empty()) return;
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - stepStart_).count();
  record_.steps.push_back({step_, std::round(ms * 10) / 10});  // a tenth of a millisecond
  step_.clear();
}

void ProductionRecorder::stepBegan(const char* step) {
  closeStep();
  step_ = step;
  stepStart_ = Clock::now();
}

void ProductionRecorder::portFound(int hubPort, int port) {
  record_.port = std::to_string(hubPort) + "-" + std::to_string(port);
}

void ProductionRecorder::chipVariant(uint32_t variant) { record_.chipVariant = variant; }

void ProductionRecorder::systemArea(int units) {
  record_.settings["systemAreaUnits"] = std::to_string(units);
}

void ProductionRecorder::flashIdentified(uint32_t flashId, uint32_t chipCount,
                                         const std::string& table) {
  record_.flashId = flashId;
  record_.chipCount = chipCount;
  if (table != "0") file("table", context_.miscDir + "/" + table);
}

void ProductionRecorder::packageWritten(PackageKind kind) {
  std::vector<std::string> list = settings_.copyList();
  // The download's own choice: the entry that `wt_pgr` sent.
  int index = context_.packageIndex ? context_.packageIndex(kind) : choosePackageFile(list, kind, false);
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
  file(kind == PackageKind::Firmware ? "firmware" : kind == PackageKind::Preferences ? "prefer" : "iso",
       list[static_cast<size_t>(index)]);
}

void ProductionRecorder::capacity(uint32_t mib, bool fat32) {
  record_.capacityMib = mib;
  record_.fileSystem = fat32 ? "FAT32" : "FAT16";
}

void ProductionRecorder::failed(const std::string& rowText) {
  record_.failedStep = step_;
  record_.failText = rowText;
}

void ProductionRecorder::file(const std::string& role, const std::string& path) {
  // A table named .\misc\x.txt is the file misc/x.txt on POSIX.
  record_.files.push_back({role, fileNameOf(path), fileCrc32(platform::systemPath(path))});
}

void ProductionRecorder::runEnding(bool success, bool unreset) {
  if (!began_ || !context_.store) return;
  try {
    closeStep();
    record_.endedAt = utcNow();
    record_.success = success;
    record_.unreset = unreset;
    // A slot that no longer holds the run's drive: the player was pulled out. A pulled
    // player fails its next device-tool run at once, often before the window thread has
    // heard of the removal: that notice is given a moment to arrive.
    auto released = [&] { return report_.slotDrive(record_.slot) != record_.drive[0]; };
    for (int i = 0; !success && !released() && i < kRemovalGraceMs / 10; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    record_.removed = !success && released();
    if (success) {
      record_.failedStep.clear();
      record_.failText.clear();
    }
    context_.store->add(record_);
  } catch (...) {
    // Recording gives way; the tally comes next regardless.
  }
}

std::string hostName() {
  const std::string name = platform::hostName();
  return name.empty() ? "station" : name;
}

namespace {
RecordStore*& processStore() {
  static RecordStore* store = nullptr;
  return store;
}
}  // namespace

void enableRecording(const std::string& miscDir, const std::string& station) {
  StoreOptions o;
#ifdef TARN_HAVE_SQLITE
  o.databasePath = miscDir + "/records.db";
#endif
  o.journalPath = miscDir + "/records.journal";
  RecordStore*& store = processStore();
  if (!store) store = new RecordStore(o);  // lives as long as the process, as the workers may
  store->moveJournal();
  RecorderContext context{store, station.empty() ? hostName() : station, miscDir, nullptr};
  setRunObserverFactory(
      [context](const RunReporter& report,
                const RunSettings& settings) -> std::unique_ptr<RunObserver> {
        return std::make_unique<ProductionRecorder>(report, settings, context);
      },
      closeRecording);
}

void closeRecording() {
  RecordStore* store = processStore();
  if (!store) return;
  if (size_t lost = store->close())
    std::fprintf(stderr, "mpstation: %zu production record(s) could not be written to %s or %s\n",
                 lost, store->options().databasePath.c_str(), store->options().journalPath.c_str());
}

}  // namespace station::records

// The production run's recorder: listens to one run, and at its tally makes the record and
// hands it to the station's store. It never throws into the run and never fails it.
#pragma once

#include "station/engine/run_observer.h"
#include "station/records/record.h"
#include "station/records/store.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace station::records {

// CRC-32 (the zip polynomial) of a file as 8 hex digits, remembered while the file's size
// and time stay the same; empty when it cannot be read.
std::string fileCrc32(const std::string& path);
uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);

struct RecorderContext {
  RecordStore* store = nullptr;
  std::string station;
  std::string miscDir;  // where the configuration tables are
  // The copy-list position a download of the kind used, -1 when none; empty: the
  // download's own choice from the copy list.
  std::function<int(PackageKind)> packageIndex;
};

class ProductionRecorder : public RunObserver {
 public:
  ProductionRecorder(const RunReporter& report, const RunSettings& settings,
                     RecorderContext context);

  void runBegan(char drive, int slot) override;
  void stepBegan(const char* step) override;
  void portFound(int hubPort, int port) override;
  void chipVariant(uint32_t variant) override;
  void systemArea(int units) override;
  void flashIdentified(uint32_t flashId, uint32_t chipCount, const std::string& table) override;
  void packageWritten(PackageKind kind) override;
  void capacity(uint32_t mib, bool fat32) override;
  void failed(const std::string& rowText) override;
  void runEnding(bool success, bool unreset) override;

  const ProductionRecord& record() const { return record_; }

 private:
  void closeStep();
  void file(const std::string& role, const std::string& path);

  using Clock = std::chrono::steady_clock;
  const RunReporter& report_;
  const RunSettings& settings_;
  RecorderContext context_;
  ProductionRecord record_;
  std::string step_;
  Clock::time_point stepStart_{};
  std::string table_;
  bool began_ = false;
};

// Records every run of this process into <miscDir>/records.db (the journal
// <miscDir>/records.journal beside it), under `station` (empty: the host name). The
// journal's records move into the database now.
void enableRecording(const std::string& miscDir, const std::string& station);
// At the station's close: what waits in memory is written and the database closed; a
// line on stderr says how many records could not be written. Nothing when not enabled.
void closeRecording();

// The computer's name.
std::string hostName();

}  // namespace station::records

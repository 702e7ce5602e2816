// The production sequence of one player: from its arrival to the row's result, every
// device step one device operation, every pause a pause of the worker. The device
// operations and the pauses are seams of their own so that a run can be scripted step by
// step without processes or clocks.
#pragma once

#include "platform/players.h"
#include "platform/volume.h"
#include "station/engine/slot_discovery.h"
#include "station/ops/device_tool.h"
#include "station/ops/run_reporter.h"
#include "station/ops/run_settings.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace station {

// Every operation a run performs on its player, its volume and its USB port.
class ProductionDevice {
 public:
  virtual ~ProductionDevice() = default;

  // Slot discovery with its own port log lines; nothing when it fails.
  virtual std::optional<SlotPort> discoverSlot(char drive) = 0;

  virtual bool isTarn(char drive) = 0;
  virtual bool writeManagerStart(char drive) = 0;
  virtual bool writeManager(char drive) = 0;
  virtual bool writeManagerEnd(char drive) = 0;
  virtual uint32_t readBondingId(char drive) = 0;  // low 8 bits of the answer
  virtual uint32_t setSystemArea(char drive, int units) = 0;
  virtual uint32_t flashItemCount(char drive) = 0;
  virtual uint32_t readFlashId(char drive) = 0;  // 0: no identification
  // The configuration table's name, or "0"; shows the flash name on the slot's row.
  virtual std::string identifyFlash(uint32_t flashId, uint32_t chipCount, int slot) = 0;
  virtual bool writeConfigTable(char drive, const std::string& path) = 0;
  virtual bool badBlockStart(char drive) = 0;
  virtual bool blankCheckStart(char drive) = 0;
  virtual bool blankCheckPoll(char drive, int slot) = 0;
  virtual bool badBlockPoll(char drive) = 0;
  virtual bool writePackageStart(char drive, PackageKind kind) = 0;
  virtual bool writePackage(char drive, PackageKind kind) = 0;
  virtual bool writePackageEnd(char drive) = 0;
  virtual bool checkUpdateSuccess(char drive) = 0;
  virtual uint32_t sizeMB(char drive) = 0;
  // The copy-list position that the downloads last used for the kind, -1 when none.
  virtual int packageFileIndex(PackageKind kind) = 0;

  // --- the player's volume ---
  virtual std::string readLabel(char drive) = 0;
  virtual bool isReadable(char drive) = 0;  // the free-space query succeeds
  virtual bool format(char drive, bool fat32, const std::string& label) = 0;
  virtual bool setLabel(char drive, const std::string& label) = 0;
  virtual bool copyToRoot(const std::string& source, char drive, const std::string& name) = 0;
  // In order, stopping at the first failure; how many were copied. One file at a time
  // unless the volumes can do better.
  virtual size_t copyAllToRoot(const std::vector<platform::Volumes::RootCopy>& files, char drive);
  virtual void checkVolume(char drive) = 0;  // the outcome is not used
};

// The real operations: the device tool through `launcher` (run from the current directory,
// .\misc\ beside the program), the platform's volumes and USB topology, the configuration
// tables and flash.ini in `miscDir`.
std::unique_ptr<ProductionDevice> makeProductionDevice(RunReporter& report,
                                                       const RunSettings& settings,
                                                       ToolLauncher& launcher,
                                                       std::unique_ptr<platform::Volumes> volumes,
                                                       std::unique_ptr<platform::UsbTopology> topology,
                                                       std::string miscDir);

// The station's own: the device tool, the chosen players' volumes and topology, misc/
// beside the program.
std::unique_ptr<ProductionDevice> makeSystemProductionDevice(RunReporter& report,
                                                             const RunSettings& settings,
                                                             const platform::Players& players);

// The pauses a run makes between its steps.
class Pauses {
 public:
  virtual ~Pauses() = default;
  virtual void pause(unsigned ms) = 0;
};

// Sleeps the calling thread, and adds up what was asked for (all runs together).
class SleepingPauses : public Pauses {
 public:
  void pause(unsigned ms) override;
  uint64_t prescribedMs() const { return prescribed_.load(); }

 private:
  std::atomic<uint64_t> prescribed_{0};
};

// The process's pauses, used by every ProductThread.
SleepingPauses& systemPauses();

struct RunOutcome {
  bool slotFound = false;
  bool success = false;
  int slot = -1;
  uint64_t pausedMs = 0;  // sum of this run's pauses
};

class RunObserver;

// One run for the player under `drive`, start to tally, on the calling thread. It reports
// through `report`, reads each setting from `settings` when a step reaches it; `observer`
// (none: not observed) hears of its steps and findings.
RunOutcome runProduction(RunReporter& report, RunSettings& settings, ProductionDevice& device,
                         Pauses& pauses, char drive, RunObserver* observer = nullptr);

// The name a copy-list entry gets on the player: the text after the entry's last path
// separator (a backslash on Windows; a slash or a backslash elsewhere), the whole entry
// when it has none.
std::string copiedFileName(const std::string& entry);

}  // namespace station

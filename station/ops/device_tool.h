// The station's side of every device operation: one run of the device tool per operation,
// its command line, how often the wait looks at it, whether the window is served meanwhile,
// and how the exit code becomes the result. Also the values computed for the tool's
// parameters (manager length and checksum, the package files of the copy list) and the
// blanking-check loop.
#pragma once

#include "platform/drive_table.h"
#include "platform/process.h"
#include "station/ops/package_files.h"
#include "station/ops/run_reporter.h"
#include "station/ops/run_settings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace station {

enum class ToolOp {
  Probe, ChkIsUpdatedisk, SecondReset, IsTarn, WtMgrS, WtMgr, WtMgrE, ReadBndId, SetSysArea,
  GetFlashItem, RdId, WtCfg, BlkChkS, BlkChkP, ChkBadS, ChkBadP, WtPgrS,
  WtPgr,         // the firmware program: wt_pgr "path"
  WtPgrPackage,  // the preferences package and the disk image: wt_pgr  "path" (two blanks)
  WtPgrE, ChkUpdateSuccess, GetSizeMB,
};

// How an exit code becomes the operation's answer.
enum class ExitMapping {
  Is225,        // true when 225
  Is0,          // true when 0
  Not0,         // true when not 0
  Is0Or1,       // true when 0 or 1
  Started,      // true whenever the tool could be started
  Code,         // the exit code itself
  Low8,         // its low 8 bits
  FlashId,      // the code, or 0 when its four bytes are all equal
};

struct ToolOpInfo {
  ToolOp op;
  const char* word;  // the sub-command, empty for the probe
  unsigned pollMs;
  bool pump;
  ExitMapping mapping;
};

const ToolOpInfo& toolOpInfo(ToolOp op);

// The command for one run. `param`: the number or path the operation takes (wt_mgr: the
// manager file's path for the POSIX vector; the Windows text always names .\misc\FSM.BIN).
platform::ChildCommand toolCommand(ToolOp op, char drive, const std::string& param = {});

// The port finder: .\misc\usbdos.exe <serial index>.
platform::ChildCommand portFinderCommand(int serialIndex);

// Yes/no answer of a yes/no operation for an exit code.
bool toolSucceeded(ToolOp op, uint32_t exitCode);
// Numeric answer of a numeric operation (Code, Low8, FlashId).
uint32_t toolValue(ToolOp op, uint32_t exitCode);

// --- values for the tool's parameters ---

// The flash setup manager image in misc/. The download names .\misc\FSM.BIN and the length
// and checksum .\misc\fsm.bin; on a file system that tells case apart both must reach the
// same file, so the one file whose name is fsm.bin in any case is used for all three.
std::string managerFilePath(const std::string& miscDir = "misc");
// The device tool's file name in misc/ ("devcmd.exe" on Windows, "devcmd" elsewhere).
const char* deviceToolFileName();
std::optional<uint64_t> fileLength(const std::string& path);
// 16-bit sum of the bytes, wrapping; 0 when the file cannot be read.
uint16_t managerChecksum(const std::string& path);

// Which copy-list entry a download of the kind uses; -1 when none. `forStart` selects the
// start request's names (lower-cased compare) over the download's (fixed spellings). The
// later match wins.
int choosePackageFile(const std::vector<std::string>& copyList, PackageKind kind,
                      bool forStart);

// The part of a path after its last separator (backslash, or slash).
std::string fileNameOf(const std::string& path);

// misc/<name> as the system writes it: .\misc\name on Windows, ./misc/name elsewhere.
std::string miscPath(const std::string& name);

// --- running the tool ---

class ToolLauncher {
 public:
  virtual ~ToolLauncher() = default;
  virtual platform::ChildResult run(const platform::ChildCommand& command,
                                    const platform::WaitPolicy& policy) = 0;
};

// Launch-and-wait of the platform.
ToolLauncher& systemLauncher();

class DeviceTool {
 public:
  // `report`'s window is served while waits pump; `settings` gives the copy list.
  DeviceTool(ToolLauncher& launcher, RunReporter& report, const RunSettings& settings,
             std::string miscDir = "misc");

  // The exit code, or nothing when the tool could not be started.
  std::optional<uint32_t> run(ToolOp op, char drive, const std::string& param = {});
  // A run's tool: from now on each letter reaches only the disk bound to it now, never one
  // that arrives on the same letter later (Linux's station letters).
  void pinDrives() { arrivals_ = platform::stationArrivals(); }

  bool probe(char drive);
  bool checkIsUpdateDisk(char drive);
  uint32_t secondReset(char drive);
  bool isTarn(char drive);
  bool writeManagerStart(char drive);
  bool writeManager(char drive);
  bool writeManagerEnd(char drive);
  uint32_t readBondingId(char drive);
  uint32_t setSystemArea(char drive, int units);
  uint32_t flashItemCount(char drive);
  uint32_t readFlashId(char drive);
  bool writeConfigTable(char drive, const std::string& path);
  bool blankCheckStart(char drive);
  // Polls until the check completes (true) or fails (false); `looked` hears the percentage
  // of each answer, the window is served after it.
  bool blankCheckPoll(char drive, const std::function<void(int percent)>& looked);
  bool badBlockStart(char drive);
  bool badBlockPoll(char drive);
  bool writePackageStart(char drive, PackageKind kind);
  bool writePackage(char drive, PackageKind kind);
  bool writePackageEnd(char drive);
  bool checkUpdateSuccess(char drive);
  uint32_t sizeMB(char drive);
  // The port code, 0 when the finder could not be started.
  uint32_t portFinder(int serialIndex);

  // The copy-list position the last start or download of the kind used (the firmware
  // program, the preferences package, the disk image); -1 before one, or when it found
  // none. Each tool (one a run) keeps its own.
  int packageFileIndex(PackageKind kind) const { return packageIndex_[static_cast<int>(kind) - 1]; }

 private:
  bool yesNo(ToolOp op, char drive, const std::string& param = {});
  uint32_t number(ToolOp op, char drive, const std::string& param = {});

  ToolLauncher& launcher_;
  RunReporter& report_;
  const RunSettings& settings_;
  std::string miscDir_;
  std::array<int, 3> packageIndex_{-1, -1, -1};
  std::array<uint64_t, 26> arrivals_{};  // 0: whatever the letter has at each run
};

}  // namespace station

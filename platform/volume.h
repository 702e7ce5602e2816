// Volume operations on a player's drive: format, label, read label, free-space query, copy
// onto the root, disk check. Windows drives them through the system (format.com and
// chkdsk.exe under the command processor, the volume API); simulated players get the same
// operations on their FAT image, and real players on Linux on their block device, with
// dosfstools and mtools, the copy written by the station itself (platform/posix/fat_volumes.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"

namespace platform {

class Volumes {
 public:
  virtual ~Volumes() = default;
  // Quick adds /Q on Windows. `pump` is called at every look while the format runs.
  virtual bool format(char drive, bool quick, bool fat32, const std::string& label,
                      const std::function<void()>& pump) = 0;
  virtual bool setLabel(char drive, const std::string& label) = 0;
  // Empty when the volume has no label or cannot be read.
  virtual std::string readLabel(char drive) = 0;
  // The free-space query succeeds: the volume carries a file system the system can read.
  virtual bool isReadable(char drive) = 0;
  // Copies `source` to the root of the drive as `name`, replacing a file of that name.
  virtual bool copyToRoot(const std::string& source, char drive, const std::string& name) = 0;
  struct RootCopy {
    std::string source;
    std::string name;
  };
  // Copies the files in order and stops at the first that fails; gives how many were
  // copied (all of them on success). Files after a failed one are not written. Where a
  // platform can, the whole list is one pass over the volume.
  virtual size_t copyAllToRoot(const std::vector<RootCopy>& files, char drive);
  // Disk check, watched briefly; true when it finished in that time and found no fault.
  virtual bool check(char drive) = 0;
};

// Copies with `copyOne` in order until one fails; how many were copied.
size_t copyInOrder(const std::vector<Volumes::RootCopy>& files,
                   const std::function<bool(const Volumes::RootCopy&)>& copyOne);

// The system's volumes: Windows' drives; on Linux the real players' disks
// (platform/linux/real_devices.h). The station takes its seams from platform/players.h.
std::unique_ptr<Volumes> makeVolumes();

#ifndef _WIN32
// Simulated players under `root` (<root>/<letter>/volume.img); library tarn_platform_sim.
std::unique_ptr<Volumes> makeSimVolumes(const std::string& root);
#endif

// --- the exact Windows command lines, pure so that every platform tests them ---

// "<system dir>\cmd.exe" on the NT family (platform id 2), else
// "<windows dir>\Command\command.com".
std::string commandProcessor(bool ntFamily, const std::string& systemDir,
                             const std::string& windowsDir);

// The file in misc/ whose lines answer format.com's questions; the system's format reads
// it only on Windows.
inline constexpr char kFormatAnswersFile[] = "response.txt";
inline constexpr bool kFormatReadsAnswers = kWindows;

// <processor> /c format.com E: [/Q] /V:LABEL /FS:FAT[32] < .\misc\response.txt
std::string formatCommandLine(const std::string& processor, char drive, bool quick,
                              const std::string& label, bool fat32);

// <processor> /c chkdsk.exe E: /X
std::string checkCommandLine(const std::string& processor, char drive);

constexpr unsigned kFormatPollMs = 500;
constexpr unsigned kFormatMaxPolls = 200;
constexpr unsigned kCheckPollMs = 100;
constexpr unsigned kCheckMaxPolls = 20;

}  // namespace platform

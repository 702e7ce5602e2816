// The station's drive letters for real players: where no operating system gives a player
// a letter (Linux), the station gives each arriving player the first free letter from E,
// as a Windows PC would, and binds it to the player's block device and SCSI generic node.
// The table is process-wide like the system's own drive letters; the binding ends with
// the player's removal. Every device-tool run on a bound letter is told its node.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct BoundDrive {
  std::string name;          // the kernel's name of the disk, e.g. "sdb", "loop3"
  std::string blockDevice;   // "/dev/sdb"
  std::string genericNode;   // "/dev/sg2"; empty when the disk has none (a loop device)
  uint32_t portCode = 0;     // the USB port as the port finder's digits; 0 none
  uint64_t diskSeq = 0;      // the medium the letter was bound to (sysfs diskseq); 0 unknown
  uint64_t arrival = 0;      // set by bind: tells one arrival of a disk from the next
};

class DriveTable {
 public:
  static constexpr char kFirstLetter = 'E';

  // The first free letter from E bound to `drive`; nothing when E..Z are all taken.
  std::optional<char> bind(BoundDrive drive);
  // The letter that was bound to the disk `name`, now free again.
  std::optional<char> release(const std::string& name);
  std::optional<BoundDrive> find(char letter) const;
  std::optional<char> letterOf(const std::string& name) const;

  // The table the station's seams share.
  static DriveTable& station();

 private:
  mutable std::mutex mutex_;
  std::optional<BoundDrive> letters_[26];
  uint64_t arrivals_ = 0;
};

// DEVCMD_DRIVE_<L>=<node> for a bound letter (its SCSI generic node, else the block
// device, which takes SG_IO as well); empty for any other letter.
std::vector<std::pair<std::string, std::string>> deviceToolEnvironment(char letter);
// The same for a run that began when the letter had arrival `arrival` (0: none then): a
// letter bound to another disk since is named with no node, so the tool finds no drive
// instead of a player that is not the run's.
std::vector<std::pair<std::string, std::string>> deviceToolEnvironment(char letter, uint64_t arrival);
// The arrival each letter A..Z of the station's table has now; 0 where none.
std::array<uint64_t, 26> stationArrivals();

}  // namespace platform

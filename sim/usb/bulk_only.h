// The simulated player as a USB mass-storage device, without the kernel: the Bulk-Only
// Transport (command block wrapper, data phase, status wrapper) over two bulk endpoints,
// and a SCSI disk that answers the commands a host sends to a USB disk from the player's
// volume and hands the player's own requests to its device model.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/device_model.h"

namespace tarnsim::usb {

constexpr size_t kCbwSize = 31;
constexpr size_t kCswSize = 13;
constexpr uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr uint32_t kBlockSize = 512;

enum class CswStatus : uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

struct Cbw {
  uint32_t tag = 0;
  uint32_t length = 0;  // the host's data transfer length
  bool in = false;      // data phase device -> host
  uint8_t lun = 0;
  uint8_t cdbLength = 0;
  uint8_t cdb[16] = {};
};

// A wrapper that is 31 bytes long, signed, for LUN 0 and with a CDB length of 1..16.
bool parseCbw(const uint8_t* bytes, size_t n, Cbw& out);
std::vector<uint8_t> makeCsw(uint32_t tag, uint32_t residue, CswStatus status);

// What the disk stands on: the player's model and its volume.
class PlayerSide {
 public:
  struct Answer {
    bool ok = false;
    bool vanished = false;    // the player dropped off the bus
    bool reattached = false;  // it dropped off and comes straight back
  };
  virtual ~PlayerSide() = default;
  virtual Answer request(const Request& request) = 0;
  virtual uint64_t volumeBytes() = 0;
  virtual bool read(uint64_t offset, uint8_t* out, size_t n) = 0;
  virtual bool write(uint64_t offset, const uint8_t* data, size_t n) = 0;
  virtual bool flush() = 0;
};

// The data phase a command wants, decided from its CDB before any data moves.
struct Plan {
  enum Dir : uint8_t { None, In, Out } dir = None;
  uint32_t length = 0;
};

struct Sense {
  uint8_t key = 0, asc = 0, ascq = 0;
};

// The SCSI side: plans a command, then runs it on the data the host sent or fills the
// data the host receives.
class ScsiDisk {
 public:
  // `serial` answers the serial-number page; `log` hears each command code the first
  // time it comes and every unknown one.
  ScsiDisk(PlayerSide& player, std::string serial, std::function<void(const std::string&)> log = {})
      : player_(player), serial_(std::move(serial)), log_(std::move(log)) {}

  Plan plan(const Cbw& cbw);
  // `data` holds plan().length bytes: the host's for Out, to be filled for In (it
  // starts zeroed). False when the command fails (sense set, or transfer refused).
  bool run(const Cbw& cbw, std::vector<uint8_t>& data);

  // Transfer failures of the player's own requests: the host must see a broken
  // transfer, not a SCSI status, as it judges only the transfer.
  bool transferBroken() const { return broken_; }
  bool vanished() const { return vanished_; }
  bool reattached() const { return reattached_; }
  const Sense& sense() const { return sense_; }

 private:
  bool fail(uint8_t key, uint8_t asc, uint8_t ascq = 0);
  bool playerRequest(const Cbw& cbw, std::vector<uint8_t>& data);
  bool blocks(const Cbw& cbw, std::vector<uint8_t>& data, bool write);
  bool modeSense(const Cbw& cbw, std::vector<uint8_t>& data, bool ten);
  bool inquiryPage(uint8_t page, std::vector<uint8_t>& data);

  PlayerSide& player_;
  std::string serial_;
  std::function<void(const std::string&)> log_;
  bool seen_[256] = {};
  Sense sense_;
  bool broken_ = false, vanished_ = false, reattached_ = false;
};

// The bulk endpoints as the device sees them.
class Endpoints {
 public:
  virtual ~Endpoints() = default;
  // Reads one transfer of at most n bytes from bulk-out; -1 when the link is gone.
  virtual long receive(uint8_t* buf, size_t n) = 0;
  virtual bool send(const uint8_t* data, size_t n) = 0;
  virtual void stallIn() = 0;
  virtual void stallOut() = 0;
  virtual size_t maxPacket() const = 0;
};

// Serves wrappers one after another. After an invalid wrapper both endpoints stay
// stalled until the host's reset recovery (resetRecovery()).
class BulkOnly {
 public:
  enum class Step { Served, Invalid, Gone, Vanished, Reattached };
  BulkOnly(ScsiDisk& disk, Endpoints& ep) : disk_(disk), ep_(ep) {}
  Step serveOne();
  bool waitingForReset() const { return needReset_; }
  void resetRecovery() { needReset_ = false; }

 private:
  ScsiDisk& disk_;
  Endpoints& ep_;
  bool needReset_ = false;
};

// Class requests on the control endpoint: Bulk-Only Mass Storage Reset and Get Max LUN.
constexpr uint8_t kRequestReset = 0xFF;
constexpr uint8_t kRequestGetMaxLun = 0xFE;

}  // namespace tarnsim::usb

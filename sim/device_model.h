// The simulated Tarn player: a plain class that takes one request (CDB, direction,
// length, data) and answers it the way a player does, changing its state. Bulk data
// (downloads, controller memory, the user area) lives behind DeviceStorage so that the
// model runs the same in memory (tests) and on files (the player folder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnsim {

enum class Mode : uint8_t {
  Rom,       // blank player: boot ROM only, needs the flash setup manager
  Fsm,       // running the flash setup manager
  Firmware,  // normal operation with firmware on it
  Update,    // update disk: waits for the second reset
  Generic,   // running the product firmware as a plain audio player
};

std::string_view modeName(Mode mode);
std::optional<Mode> parseMode(std::string_view text);

// Everything a player keeps between requests. Plain data with a fixed layout: it is
// stored as is, and rewritten after every request, so it stays small.
struct Download {
  uint8_t open = 0;
  uint8_t broken = 0;  // a chunk overran the announced size
  uint32_t announced = 0;
  uint32_t received = 0;
  uint16_t sum = 0;  // byte sum modulo 65536, kept as the bytes arrive
};

struct Check {
  uint8_t started = 0;
  uint16_t begin = 0;
  uint16_t end = 0;
  uint32_t polls = 0;
};

struct PackageRecord {
  uint32_t size = 0;
  uint16_t checksum = 0;
};

struct FaultRule {
  char name[48] = {};   // request name or sub-command word; empty slot when name[0] is 0
  uint32_t after = 0;   // requests that still succeed
  uint32_t seen = 0;    // matching requests served so far
  uint8_t vanish = 0;   // the player drops off instead of failing once
};

constexpr uint32_t kStateMagic = 0x4D495354;  // "TSIM"
constexpr uint32_t kStateVersion = 1;
constexpr size_t kMaxPackages = 64;
constexpr size_t kMaxFaults = 8;
constexpr uint32_t kDefaultCheckPolls = 4;
// What a player may be made with (tarnsim create) and so what a stored state may hold.
constexpr uint32_t kMaxCapacityMib = 2097151;
constexpr uint32_t kMaxLatencyMs = 600000;
constexpr uint32_t kMaxCheckPolls = 1000000;

struct PlayerState {
  uint32_t magic = kStateMagic;
  uint32_t version = kStateVersion;
  uint32_t size = sizeof(PlayerState);

  // Identity, fixed at create.
  uint8_t flashId[5] = {0xEC, 0xD3, 0x51, 0x95, 0x00};
  uint8_t items = 1;
  uint8_t bonding = 1;
  Mode mode = Mode::Rom;
  uint32_t capacityMib = 256;
  uint32_t portCode = 0;
  uint32_t latencyMs = 0;
  uint32_t checkPolls = kDefaultCheckPolls;  // polls until a flash check completes

  uint8_t plugged = 0;
  uint8_t hasFirmware = 0;  // a program is in flash: a power cycle boots it
  uint8_t sysArea = 0;
  uint8_t clockDiv = 0;
  uint16_t delayFirst = 0;
  uint16_t delaySecond = 0;
  uint16_t password = 0;
  uint8_t decrypted = 0;

  Download manager;
  Download package;
  uint8_t managerWritten = 0;
  uint32_t managerSize = 0;
  uint16_t managerChecksum = 0;

  uint8_t cfgOpen = 0;  // a table is arriving: it ends with a chunk shorter than 2048
  uint32_t cfgSize = 0;
  uint16_t cfgChecksum = 0;
  uint32_t cfgTables = 0;

  Check badBlock;
  Check blanking;

  uint64_t requests = 0;
  uint32_t packageCount = 0;  // all packages ever written; the last kMaxPackages are kept
  PackageRecord packages[kMaxPackages] = {};
  FaultRule faults[kMaxFaults] = {};

  // The kept packages, oldest first, and the 1-based number of the first of them.
  size_t keptPackages() const;
  uint32_t firstKeptPackage() const;
  const PackageRecord& keptPackage(size_t i) const;
  void addPackage(PackageRecord record);
};

// Where the bytes that do not fit the state go.
enum class Stream : uint8_t { Manager, Package, Config, Xdata };

class DeviceStorage {
 public:
  virtual ~DeviceStorage() = default;
  // Every request the player receives, in order.
  virtual void record(const uint8_t* cdb, size_t cdbLength, bool out, uint32_t length) = 0;
  // Empties a stream (a new download begins).
  virtual bool clear(Stream stream) = 0;
  virtual bool write(Stream stream, uint64_t offset, const uint8_t* data, size_t n) = 0;
  // Fills `out`; bytes past the stream's end read as zeros.
  virtual void read(Stream stream, uint64_t offset, uint8_t* out, size_t n) = 0;
  // Size of the user area in bytes, or nullopt when it is missing.
  virtual std::optional<uint64_t> userAreaBytes() = 0;
};

struct Request {
  const uint8_t* cdb = nullptr;
  uint8_t cdbLength = 6;
  bool out = false;              // data phase host -> player
  uint32_t length = 0;           // transfer length
  const uint8_t* data = nullptr; // out: the chunk
  uint8_t* reply = nullptr;      // in: `length` bytes, always fully written
};

struct Outcome {
  bool ok = false;          // the transfer succeeded
  bool vanished = false;    // the player dropped off (it is now unplugged)
  bool reattached = false;  // the player dropped off and came back (left the update disk)
};

// Error numbers the host sees, in the platform's numbering.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorNotConnected = 1167;

class DeviceModel {
 public:
  DeviceModel(PlayerState& state, DeviceStorage& storage) : state_(state), storage_(storage) {}
  Outcome apply(const Request& request);

 private:
  PlayerState& state_;
  DeviceStorage& storage_;
};

// True when `name` names a request the player knows (request name or sub-command word).
bool isKnownRequestName(std::string_view name);

// Reboot as at power-up: the manager is gone, open downloads and checks are lost.
void powerCycle(PlayerState& state);

// Byte sum modulo 65536, as the host computes the manager checksum.
uint16_t byteSum(const uint8_t* data, size_t n, uint16_t start = 0);

}  // namespace tarnsim

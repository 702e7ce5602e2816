// A simulated player on disk: the folder <root>/<LETTER>/ with
//   state       the player's PlayerState record, rewritten in place after every request
//               (never replaced: openers keep it mapped)
//   lock        locked around every request and every change made by tarnsim
//   trace       one line per request received
//   manager.bin, package.bin, config.bin   bytes of the current or last download
//   xdata.bin   the controller's data memory
//   volume.img  the user area, a sparse file of the player's capacity
// and <root>/events, one line "<sequence> plug|unplug <LETTER>" per arrival or removal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/store_file.h"

namespace tarnsim {

// 'E' for "E", "e" and "E:"; 0 when the text is not a drive letter.
char parseLetter(const std::string& text);
std::string playerDir(const std::string& root, char letter);

// Takes a stored state record apart: empty when it is whole and every field is in the
// range tarnsim create allows, else what is wrong. A damaged record is never used.
std::string decodeState(const uint8_t* bytes, size_t n, PlayerState& state);

class PlayerFiles final : public DeviceStorage {
 public:
  // Opens an existing player folder; null (with a message) when it is missing or broken.
  static std::unique_ptr<PlayerFiles> open(const std::string& root, char letter, std::string* error);
  ~PlayerFiles() override;
  PlayerFiles(const PlayerFiles&) = delete;
  PlayerFiles& operator=(const PlayerFiles&) = delete;

  const std::string& root() const { return root_; }
  char letter() const { return letter_; }

  // Nested: only the outermost pair locks and unlocks the player; a run of the device
  // tool holds it from open to end, and each request inside locks again for free.
  bool lock();
  void unlock();
  // Sleeps with the player unlocked for that time, so others can take their turn.
  void pauseUnlocked(uint32_t ms);
  // False when the record is missing or damaged; `why` then says what is wrong (empty
  // when it could not be read at all).
  bool load(PlayerState& state, std::string* why = nullptr);
  bool save(const PlayerState& state);

  void record(const uint8_t* cdb, size_t cdbLength, bool out, uint32_t length) override;
  bool clear(Stream stream) override;
  bool write(Stream stream, uint64_t offset, const uint8_t* data, size_t n) override;
  void read(Stream stream, uint64_t offset, uint8_t* out, size_t n) override;
  std::optional<uint64_t> userAreaBytes() override;

 private:
  PlayerFiles(std::string root, char letter);
  StoreFile* streamFile(Stream stream);

  std::string root_;
  char letter_;
  std::string dir_;
  StoreFile lock_, state_, trace_;
  StoreFile streams_[4];
  void* mapped_ = nullptr;  // the state record, shared with every other opener
  int lockDepth_ = 0;
  // Trace lines not yet written: written in one go before the player is unlocked.
  std::string traceBuffer_;
  void flushTrace();
};

// Locks `files` for as long as it lives.
class PlayerLock {
 public:
  explicit PlayerLock(PlayerFiles& files) : files_(files), held_(files.lock()) {}
  ~PlayerLock() {
    if (held_) files_.unlock();
  }
  PlayerLock(const PlayerLock&) = delete;
  PlayerLock& operator=(const PlayerLock&) = delete;
  bool held() const { return held_; }

 private:
  PlayerFiles& files_;
  bool held_;
};

// One request against a player folder: lock, load, apply, save, unlock, then the
// player's latency. `error` gets the host's error number when the transfer fails;
// `outcome`, when given, the model's whole answer (a USB face drops off the bus on it).
bool serve(PlayerFiles& files, const Request& request, uint32_t& error, Outcome* outcome = nullptr);

// The latency of one request: TARNSIM_LATENCY_MS when set, else the player's own.
uint32_t effectiveLatencyMs(const PlayerState& state);

// Appends "<n> <kind> <LETTER>" to <root>/events, numbering the lines from 1.
bool appendEvent(const std::string& root, const char* kind, char letter);

// What `tarnsim create` makes: a new, unplugged player.
struct PlayerSpec {
  uint8_t flashId[4] = {0xEC, 0xD3, 0x51, 0x95};
  uint8_t items = 1;
  uint8_t bonding = 1;
  uint32_t capacityMib = 256;
  int64_t portCode = -1;  // -1: taken from the letter
  Mode mode = Mode::Rom;
  uint32_t latencyMs = 0;
  uint32_t checkPolls = kDefaultCheckPolls;
};

// USB port code of a player on its own port: 1..8 by the letter (E is 5).
uint32_t defaultPortCode(char letter);

bool createPlayer(const std::string& root, char letter, const PlayerSpec& want, std::string& error);
bool setPlugged(const std::string& root, char letter, bool plugged, std::string& error);

struct FaultSpec {
  std::string request;
  uint32_t after = 0;
  bool vanish = false;
  bool clear = false;  // remove the rule for this request instead
};
bool setFault(const std::string& root, char letter, const FaultSpec& fault, std::string& error);

// The player's state as key=value lines (tarnsim show).
bool showPlayer(const std::string& root, char letter, std::vector<std::string>& lines,
                std::string& error);
bool readState(const std::string& root, char letter, PlayerState& state, std::string& error);
// The trace, one request a line, oldest first (tarnsim trace).
bool readTrace(const std::string& root, char letter, std::string& text, std::string& error);

}  // namespace tarnsim

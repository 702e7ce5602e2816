// The one seam through which devcmd reaches a player: send one CDB with an optional
// data phase and learn whether the transfer succeeded. Three implementations: Windows
// SPTI (passthrough_win32.cpp), Linux SG_IO (passthrough_linux.cpp) and the simulated
// player (passthrough_sim.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace devcmd {

enum class DataDir : uint8_t {
  In,   // buffered record; also used for requests that transfer nothing
  Out,  // direct record, data from the caller's chunk buffer
};

struct Request {
  uint8_t cdb[16] = {};
  uint8_t cdbLength = 6;
  DataDir dir = DataDir::In;
  uint32_t length = 0;          // DataTransferLength
  uint32_t timeoutSeconds = 6;
  uint8_t* data = nullptr;      // In: receives up to `length` reply bytes; Out: the chunk
};

class PassThrough {
 public:
  virtual ~PassThrough() = default;
  // Sends one request synchronously, no retry. True when the transfer succeeded.
  // For In requests the reply bytes are copied to req.data whether or not the call
  // succeeded (a failed call leaves the zero-filled data area: zeros).
  virtual bool send(const Request& req) = 0;
  // The operating system's last error code, as the error lines print it.
  virtual uint32_t lastError() const = 0;
};

// Opens the drive named by argument 1 ("E:", or a device path on Linux). Returns null
// when it cannot be opened, with `error` set to the system's error number.
std::unique_ptr<PassThrough> openDrive(const std::string& driveArg, uint32_t& error);

// The simulated player `<root>/<letter>/`; null (error 2, file not found) when the
// player does not exist or is unplugged, exactly like an absent drive. Chosen for a drive
// letter when TARN_SIM names the root.
std::unique_ptr<PassThrough> openSimulatedDrive(const std::string& root, char letter,
                                                uint32_t& error);

}  // namespace devcmd

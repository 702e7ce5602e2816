// The sub-commands: one table of words, usage lines and handlers, and the run context
// the handlers share (arguments, the opened device, the work buffer and the endings).
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

#include "devcmd/devcmd.h"
#include "devcmd/transport/requests.h"

namespace devcmd {

inline constexpr size_t kWorkBufferSize = 2048;
inline constexpr size_t kMemoryReadSize = 512;

class Run {
 public:
  Run(std::span<const std::string> args, Output& out, const Environment& env,
      std::unique_ptr<PassThrough> device, std::time_t start)
      : args_(args), out_(out), env_(env), device_(std::move(device)), start_(start) {}

  Output& out() { return out_; }
  const Environment& env() const { return env_; }
  uint8_t* buffer() { return buffer_.data(); }

  // Parameters are the arguments after the sub-command word.
  size_t paramCount() const { return args_.size() > 3 ? args_.size() - 3 : 0; }
  const std::string& text(size_t i) const { return args_[3 + i]; }
  uint32_t number(size_t i) const;

  // Sends one request with the first `count` numeric parameters; the reply (if any)
  // lands in the work buffer.
  Outcome send(RequestId id, std::initializer_list<uint32_t> params = {});
  Outcome sendParams(RequestId id);  // the request's own count of numeric parameters
  Outcome sendChunk(RequestId id, uint32_t length);
  Outcome sendOut(RequestId id, std::initializer_list<uint32_t> params, const uint8_t* data);
  uint32_t lastError() const { return device_ ? device_->lastError() : 0; }

  void closeDevice() { device_.reset(); }

  // The common endings. Each returns the exit value.
  uint32_t completion();                            // "Total takes ..."; close; 0
  void errorLine(const char* name);                 // "%s, error: %d  \n"
  uint32_t failWith(const char* name, uint32_t code);  // error line; close; code
  uint32_t valueExit(uint32_t value);               // close; value

 private:
  std::span<const std::string> args_;
  Output& out_;
  const Environment& env_;
  std::unique_ptr<PassThrough> device_;
  std::time_t start_;
  std::array<uint8_t, kWorkBufferSize> buffer_{};
};

using Handler = uint32_t (*)(Run&);

struct SubCommand {
  const char* word;
  const char* usage;  // null for the words the usage text does not list
  uint8_t minParams;  // fewer end the run with 1 before anything is sent
  Handler handler;
};

std::span<const SubCommand> subCommands();

// Probe classification of a 36-byte INQUIRY reply: 225, 226, 227, or 0.
uint32_t inquiryClass(const uint8_t* reply, bool transferred);

// The 512-byte memory table printed by rdx and rdc.
std::string memoryTable(const uint8_t* bytes);

// Handlers, by group. Requests that only start or end something share one shape.
template <RequestId Id>
uint32_t simpleRequest(Run& run) {
  if (!run.sendParams(Id).ok) return run.failWith(requestEntry(Id).name, 1);
  return run.completion();
}

// Queries and control (commands_query.cpp)
uint32_t cmdReadId(Run&);
uint32_t cmdGetLcdSize(Run&);
uint32_t cmdReset(Run&);
uint32_t cmdSecondReset(Run&);
uint32_t cmdQueryFirstBurn(Run&);
uint32_t cmdGetFlashItem(Run&);
uint32_t cmdIsTarn(Run&);
uint32_t cmdCheckIsUpdateDisk(Run&);
uint32_t cmdReadBondingId(Run&);
uint32_t cmdGetSizeMB(Run&);
uint32_t cmdSetSysArea(Run&);

// Downloads (commands_download.cpp)
uint32_t cmdWriteCfg(Run&);
uint32_t cmdWriteMgr(Run&);
uint32_t cmdWriteProgram(Run&);

// Flash test and erase (commands_flash.cpp)
uint32_t cmdCheckBadPoll(Run&);
uint32_t cmdBlankCheckPoll(Run&);
uint32_t cmdEraseNorFlash(Run&);

// Memory, encrypted partition and info.txt (commands_secure.cpp)
uint32_t cmdReadXData(Run&);
uint32_t cmdReadCode(Run&);
uint32_t cmdWriteXData(Run&);
uint32_t cmdChangePasswd(Run&);
uint32_t cmdNeedUp(Run&);
uint32_t cmdCheckUp(Run&);
uint32_t cmdTotalSize(Run&);
uint32_t cmdEncryptedSize(Run&);
uint32_t cmdSetInfo(Run&);
uint32_t cmdSetSize(Run&);
uint32_t cmdUnlock(Run&);

}  // namespace devcmd

// devcmd's logic as a library: one run of the tool on an argument vector, with the
// device opener, the clock and the output supplied by the caller.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "devcmd/transport/passthrough.h"

namespace devcmd {

#if defined(__MINGW32__)
#define DEVCMD_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define DEVCMD_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

class Output {
 public:
  virtual ~Output() = default;
  virtual void write(std::string_view text) = 0;
  void print(const char* format, ...) DEVCMD_PRINTF(2, 3);
};

class StdoutOutput final : public Output {
 public:
  void write(std::string_view text) override;
};

class StringOutput final : public Output {
 public:
  void write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

using OpenFn =
    std::function<std::unique_ptr<PassThrough>(const std::string& driveArg, uint32_t& error)>;
using ClockFn = std::function<std::time_t()>;

struct Environment {
  OpenFn open = openDrive;
  ClockFn now = [] { return std::time(nullptr); };
  std::string infoPath = "info.txt";  // the partition description, in the current directory
};

// One run: `args` is the whole argument vector (args[0] the program). Returns the full
// 32-bit exit value; nothing here ends the process.
uint32_t run(std::span<const std::string> args, Output& out, const Environment& env = {});

// The banner and the usage lines, as printed for a run without arguments.
std::string usageText();

}  // namespace devcmd

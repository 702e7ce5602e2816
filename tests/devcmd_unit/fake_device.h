// A scripted player for in-process runs: records every request it is sent and answers
// from a queue (an empty queue answers "ok" with a zero reply).
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "devcmd/devcmd.h"

namespace devcmd::test {

struct Sent {
  std::vector<uint8_t> cdb;  // cdbLength bytes
  DataDir dir;
  uint32_t length;
  uint32_t timeout;
  std::vector<uint8_t> data;  // what a data-out request carried
};

struct Answer {
  bool ok = true;
  std::vector<uint8_t> reply;
  uint32_t error = 0;
  // A real pass-through leaves zeros after a failed call; this lets a test put bytes
  // there anyway, to show which results ignore the flag.
  bool replyEvenOnFailure = false;
};

struct Script {
  std::deque<Answer> answers;
  std::vector<Sent> sent;
  bool closed = false;
};

class FakeDevice final : public PassThrough {
 public:
  explicit FakeDevice(Script& s) : s_(s) {}
  ~FakeDevice() override { s_.closed = true; }

  bool send(const Request& r) override {
    Sent rec{std::vector<uint8_t>(r.cdb, r.cdb + r.cdbLength), r.dir, r.length,
             r.timeoutSeconds, {}};
    if (r.dir == DataDir::Out && r.data != nullptr) rec.data.assign(r.data, r.data + r.length);
    s_.sent.push_back(std::move(rec));
    Answer a;
    if (!s_.answers.empty()) {
      a = s_.answers.front();
      s_.answers.pop_front();
    }
    if (r.dir == DataDir::In && r.data != nullptr && !a.reply.empty() &&
        (a.ok || a.replyEvenOnFailure))
      std::memcpy(r.data, a.reply.data(), std::min<size_t>(a.reply.size(), r.length));
    error_ = a.error;
    return a.ok;
  }
  uint32_t lastError() const override { return error_; }

 private:
  Script& s_;
  uint32_t error_ = 0;
};

struct RunResult {
  uint32_t code;
  std::string out;
};

// One run against the script; the clock reads `start` first and `start + elapsed` after.
inline RunResult runTool(std::vector<std::string> args, Script& script,
                         const std::string& infoPath = "info.txt", long elapsed = 0) {
  args.insert(args.begin(), "devcmd");
  Environment env;
  env.open = [&script](const std::string&, uint32_t& error) -> std::unique_ptr<PassThrough> {
    error = 0;
    return std::make_unique<FakeDevice>(script);
  };
  int reads = 0;
  env.now = [&reads, elapsed] { return std::time_t{1000} + (reads++ ? elapsed : 0); };
  env.infoPath = infoPath;
  StringOutput out;
  const uint32_t code = run(args, out, env);
  return {code, out.text()};
}

inline const char* kDone = "Total takes      0 seconds.\n";

}  // namespace devcmd::test

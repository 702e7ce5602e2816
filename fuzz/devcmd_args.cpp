// devcmd's command line on arbitrary arguments against a player that answers anything.
// Input: the arguments after the program's name, one a line, then a NUL and the bytes the
// player answers with (each request takes one byte for success and its reply after it).
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "devcmd/devcmd.h"
#include "devcmd/info_file.h"
#include "fuzz/sandbox.h"

namespace {

class AnyPlayer final : public devcmd::PassThrough {
 public:
  explicit AnyPlayer(std::string_view& answers) : answers_(answers) {}
  bool send(const devcmd::Request& r) override {
    if (answers_.empty()) return true;
    const bool ok = (answers_.front() & 1) == 0;
    answers_.remove_prefix(1);
    if (r.dir == devcmd::DataDir::In && r.data) {
      const std::size_t n = std::min<std::size_t>(answers_.size(), r.length);
      std::memcpy(r.data, answers_.data(), n);
      answers_.remove_prefix(n);
    }
    return ok;
  }
  std::uint32_t lastError() const override { return 31; }

 private:
  std::string_view& answers_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view argText = input.substr(0, nul);
  std::string_view answers = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

  std::vector<std::string> args{"devcmd"};
  for (std::size_t start = 0; start <= argText.size() && args.size() < 12;) {
    std::size_t end = std::min(argText.find('\n', start), argText.size());
    args.emplace_back(argText.substr(start, end - start));
    start = end + 1;
  }
  // Files named on the command line are read whole: keep to ordinary ones.
  for (const std::string& a : args)
    if (a.find("/dev") != std::string::npos || a.find("/proc") != std::string::npos ||
        a.find("/sys") != std::string::npos)
      return 0;

  devcmd::parsePartitionInfo(answers);
  devcmd::Environment env;
  env.open = [&answers](const std::string&, std::uint32_t& error) -> std::unique_ptr<devcmd::PassThrough> {
    error = 0;
    return std::make_unique<AnyPlayer>(answers);
  };
  env.now = [] { return std::time_t{1000}; };
  env.infoPath = fuzz::sandbox() + "/info.txt";
  devcmd::StringOutput out;
  devcmd::run(args, out, env);
  return 0;
}

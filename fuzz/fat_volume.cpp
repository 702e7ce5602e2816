// The station's FAT writer on a volume whose first bytes are arbitrary (a player's flash
// holds whatever it holds): the input is laid over the start of a 40 MiB image, and two
// files are copied onto its root. Nothing is written outside the image, whatever the boot
// sector claims.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/sandbox.h"
#include "platform/posix/fat_root_copy.h"

namespace {

constexpr off_t kImageBytes = 40 << 20;

// Two files, made once: one short name, one long that takes several clusters.
const std::vector<platform::Volumes::RootCopy>& files() {
  static const std::vector<platform::Volumes::RootCopy> list = [] {
    std::vector<platform::Volumes::RootCopy> l;
    for (auto [name, bytes] : {std::pair<const char*, size_t>{"a.bin", 3000}, {"A long name.mp3", 70000}}) {
      std::string content(bytes, '\0');
      for (size_t i = 0; i < bytes; ++i) content[i] = static_cast<char>(i * 7 + 1);
      const std::string path = fuzz::sandbox() + "/source" + std::to_string(l.size());
      fuzz::writeFile(path, content);
      l.push_back({path, name});
    }
    return l;
  }();
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  const std::string image = fuzz::sandbox() + "/volume.img";
  fuzz::writeFile(image, data, size);
  if (truncate(image.c_str(), kImageBytes) != 0) std::abort();
  const size_t copied = platform::copyOntoFatRoot(image, files());
  struct stat st;
  if (copied > 2 || stat(image.c_str(), &st) != 0 || st.st_size != kImageBytes) std::abort();
  return 0;
}

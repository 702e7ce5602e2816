// The station's FAT writer on a volume whose first bytes are arbitrary (a player's flash
// holds whatever it holds): the input is laid over the start of a 40 MiB image, and two
// files are copied onto its root. Nothing is written outside the image, whatever the boot
// sector claims.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz/sandbox.h"
#include "platform/posix/fat_root_copy.h"

namespace {

constexpr off_t kImageBytes = 40 << 20;

const std::string& source(const char* name, size_t bytes) {
  static std::string paths[2];
  std::string& path = paths[name[0] == 'a' ? 0 : 1];
  if (path.empty()) {
    path = fuzz::sandbox() + "/" + name;
    std::string content(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) content[i] = static_cast<char>(i * 7 + 1);
    fuzz::writeFile(path, content);
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  const std::string image = fuzz::sandbox() + "/volume.img";
  fuzz::writeFile(image, data, size);
  if (truncate(image.c_str(), kImageBytes) != 0) std::abort();
  size_t copied = platform::copyOntoFatRoot(
      image, {{source("a.bin", 3000), "a.bin"}, {source("long.bin", 70000), "A long name.mp3"}});
  struct stat st;
  if (copied > 2 || stat(image.c_str(), &st) != 0 || st.st_size != kImageBytes) std::abort();
  return 0;
}

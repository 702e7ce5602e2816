// The copy list seting.ini on arbitrary contents. Its names are taken inside a folder
// holding a file, a folder, a FIFO and a link to a character device: only regular files
// are kept (nothing blocks on a special one), and a save and a load give the same list.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/sandbox.h"
#include "station/settings/copy_list.h"

namespace {

const std::string& folder() {
  static const std::string dir = [] {
    std::string d = fuzz::sandbox() + "/files";
    ::mkdir(d.c_str(), 0755);
    fuzz::writeFile(d + "/program.bin", "firmware");
    ::mkdir((d + "/folder").c_str(), 0755);
    ::mkfifo((d + "/fifo").c_str(), 0644);
    ::symlink("/dev/null", (d + "/null").c_str());
    return d + "/";
  }();
  return dir;
}

bool regularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines = station::splitCopyListLines(text);
  std::string listed;
  for (const std::string& line : lines) {
    if (line.find_first_of("\r\n") != std::string::npos) std::abort();
    // Names stay inside the folder: opening some device files has effects of its own.
    if (line.find("..") != std::string::npos) return 0;
    listed += folder() + line + "\n";
  }

  const std::string path = fuzz::sandbox() + "/seting.ini";
  fuzz::writeFile(path, listed);
  // A blocked open is cut short by libFuzzer's own alarm signal, so a hang shows as time.
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> items = station::loadCopyList(path);
  if (std::chrono::steady_clock::now() - start > std::chrono::seconds(2))
    std::abort();
  if (items.size() > lines.size()) std::abort();
  for (const std::string& item : items)
    if (!regularFile(item)) std::abort();

  if (!station::saveCopyList(path, items)) std::abort();
  if (station::loadCopyList(path) != items) std::abort();
  return 0;
}

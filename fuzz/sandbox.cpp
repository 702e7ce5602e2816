#include "fuzz/sandbox.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzz {

const std::string& sandbox() {
  static const std::string dir = [] {
    // Memory-backed where there is such a folder: saves sync their files, and a disk would
    // make every input wait for that.
    // TARN_FUZZ_BASE (scripts/fuzz) is removed by the script, since a crash ends a target
    // without running its exit handlers.
    std::error_code ec;
    const char* given = std::getenv("TARN_FUZZ_BASE");
    const std::filesystem::path base =
        given && *given                            ? std::filesystem::path(given)
        : std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm"
                                                     : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tarn-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    // A fuzz run ends by exit(); the folder goes with it.
    static std::string keep = pattern;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(keep, ec);
    });
    return pattern;
  }();
  return dir;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

void writeFile(const std::string& path, std::string_view bytes) {
  writeFile(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace fuzz

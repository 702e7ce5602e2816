// Scratch folders and whole files without the test framework, so that benchmarks share
// them with the tests: a new folder under the system's temporary folder, files read and
// written as bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace tarn::testing {

// A new, empty folder under the system's temporary folder, named `name` and a random
// number; it stays until removed.
inline std::filesystem::path newTempFolder(std::string name) {
  static std::mt19937_64 rng{std::random_device{}()};
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  auto dir = std::filesystem::temp_directory_path() / (name + "_" + std::to_string(rng() % 1000000000));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Creates the parent folders as needed; replaces the file.
inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file of `size` bytes, sparse where the system allows; replaces the file.
inline void sizedFile(const std::filesystem::path& path, std::uintmax_t size) {
  { std::ofstream out(path, std::ios::binary | std::ios::trunc); }
  std::filesystem::resize_file(path, size);
}

// A new folder (see newTempFolder) removed when the object goes; files in it by name.
class TempFolder {
 public:
  explicit TempFolder(std::string_view name) : path_(newTempFolder(std::string(name))) {}
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::string& bytes) const {
    writeFile(path_ / name, bytes);
    return file(name);
  }
  std::string read(const std::string& name) const { return readFile(path_ / name); }
  std::string sized(const std::string& name, std::uintmax_t size) const {
    sizedFile(path_ / name, size);
    return file(name);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tarn::testing

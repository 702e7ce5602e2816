// Scratch folders and whole files for every test program: one fresh folder per test (named
// after it), files read and written as bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace tarn::testing {

// A new, empty folder under the system's temporary folder, named after `prefix` and the
// running test; it stays when the test ends.
inline std::filesystem::path freshScratchDir(std::string_view prefix) {
  static std::mt19937_64 rng{std::random_device{}()};
  std::string name(prefix);
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
    name += std::string("_") + info->test_suite_name() + "_" + info->name();
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

// A file of `size` bytes, sparse where the system allows.
inline void sizedFile(const std::filesystem::path& path, std::uintmax_t size) {
  { std::ofstream out(path, std::ios::binary); }
  std::filesystem::resize_file(path, size);
}

// A fresh folder removed when the object goes.
class ScratchDir {
 public:
  explicit ScratchDir(std::string_view prefix = "tarn") : path_(freshScratchDir(prefix)) {}
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::string& bytes) const {
    writeFile(path_ / name, bytes);
    return file(name);
  }
  std::string read(const std::string& name) const { return readFile(path_ / name); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tarn::testing

// The names the station file tests use.
namespace station_files_test {

inline std::string freshDir() { return tarn::testing::freshScratchDir("station_files").string(); }
inline std::string join(const std::string& dir, const std::string& name) {
  return (std::filesystem::path(dir) / name).string();
}
inline void writeBytes(const std::string& path, const std::string& bytes) { tarn::testing::writeFile(path, bytes); }
inline std::string readBytes(const std::string& path) { return tarn::testing::readFile(path); }

}  // namespace station_files_test

// Scratch folders and files for the tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace station::testing {

inline std::filesystem::path scratchDir(const std::string& name) {
  static std::mt19937_64 rng{std::random_device{}()};
  auto dir = std::filesystem::temp_directory_path() /
             ("tarn_ops_" + name + "_" + std::to_string(rng() % 1000000000));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A file of `size` bytes, sparse where the system allows.
inline void sizedFile(const std::filesystem::path& path, uintmax_t size) {
  { std::ofstream out(path, std::ios::binary); }
  std::filesystem::resize_file(path, size);
}

}  // namespace station::testing

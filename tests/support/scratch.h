// Scratch folders and whole files for every test program: one fresh folder per test (named
// after it), files read and written as bytes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace tarn::testing {

// `prefix` and the running test's name.
inline std::string scratchName(std::string_view prefix) {
  std::string name(prefix);
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
    name += std::string("_") + info->test_suite_name() + "_" + info->name();
  return name;
}

// A new, empty folder under the system's temporary folder, named after `prefix` and the
// running test; it stays when the test ends.
inline std::filesystem::path freshScratchDir(std::string_view prefix) { return newTempFolder(scratchName(prefix)); }

// A fresh folder named after the running test, removed when the object goes.
class ScratchDir : public TempFolder {
 public:
  explicit ScratchDir(std::string_view prefix = "tarn") : TempFolder(scratchName(prefix)) {}
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

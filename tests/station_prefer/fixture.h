// Scratch folders and pictures kept in a table instead of bitmap files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "station/settings/prefer_package.h"
#include "support/scratch.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace station::test {

namespace fs = std::filesystem;

inline Picture solid(int w, int h, std::uint32_t rgb) {
  return Picture{w, h, std::vector<std::uint32_t>(static_cast<size_t>(w) * h, rgb)};
}

// Every point differs, so a frame written from the wrong picture or place shows.
inline Picture pattern(int w, int h, std::uint32_t seed) {
  Picture p{w, h, {}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.rgb.push_back((seed * 2654435761u + x * 7919u + y * 104729u) & 0xFFFFFFu);
  return p;
}

inline std::vector<std::uint8_t> readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<std::streamsize>(bytes.size()));
}

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tarn::testing::freshScratchDir("tarn_prefer");
  }
  void TearDown() override { fs::remove_all(root_); }

  // A file in the folder whose picture the table gives.
  void addPicture(const fs::path& folder, const std::string& name, Picture p) {
    fs::create_directories(folder);
    std::ofstream(folder / name) << "bitmap";
#ifdef _WIN32
    // A leading dot is how the other platforms hide a file; Windows needs the attribute.
    if (name[0] == '.') SetFileAttributesA((folder / name).string().c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
    pictures_[(folder / name).string()] = std::move(p);
  }
  PictureLoader loader() {
    return [this](const std::string& path) -> std::optional<Picture> {
      auto it = pictures_.find(fs::path(path).lexically_normal().string());
      if (it == pictures_.end()) return std::nullopt;
      return it->second;
    };
  }
  // A full start-up and shutdown set at w x h, each frame its own pattern.
  void addSets(const fs::path& boot, const fs::path& end, int w, int h, std::uint32_t seed = 1) {
    for (int n = 1; n <= 12; ++n) addPicture(boot, "boot" + std::to_string(n) + ".bmp", pattern(w, h, seed + n));
    for (int n = 1; n <= 8; ++n) addPicture(end, "End" + std::to_string(n) + ".bmp", pattern(w, h, seed + 100 + n));
  }
  ApplyRequest request(const fs::path& boot, const fs::path& end) {
    ApplyRequest rq;
    rq.startupFolder = boot.empty() ? "" : boot.string();
    rq.shutdownFolder = end.empty() ? "" : end.string();
    rq.widthText = "160";
    rq.heightText = "128";
    rq.newPackagePath = (root_ / "prefer.dat").string();
    return rq;
  }

  fs::path root_;
  std::map<std::string, Picture> pictures_;
};

}  // namespace station::test

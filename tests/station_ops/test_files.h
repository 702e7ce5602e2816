// Scratch folders and files for the tests.
#pragma once

#include "support/scratch.h"

namespace station::testing {

inline std::filesystem::path scratchDir(const std::string& name) {
  return tarn::testing::freshScratchDir("tarn_ops_" + name);
}
using tarn::testing::sizedFile;
using tarn::testing::writeFile;

}  // namespace station::testing

#pragma once

#include "support/scratch.h"

namespace devcmd::test {

// A fresh folder per test, removed afterwards.
class TempDir : public tarn::testing::ScratchDir {
 public:
  TempDir() : ScratchDir("devcmd") {}
};

}  // namespace devcmd::test

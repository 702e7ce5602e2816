// A run's settings as plain fields that a test sets, read back as a run reads them.
#pragma once

#include "station/ops/run_settings.h"

#include <string>
#include <vector>

namespace station::testing {

class FakeRunSettings : public RunSettings {
 public:
  bool formatTicked = false, fwUpgrade = true, iso = false, parity = false,
       blankCheckTicked = false, fixed = false;
  int comboIndex = 15;
  int bondingId = 1;
  std::string labelText = "MY_AUDIO";
  std::vector<std::string> files;

  bool format() const override { return formatTicked; }
  std::string label() const override { return labelText; }
  bool firmwareUpgrade() const override { return fwUpgrade; }
  bool isoUpgrade() const override { return iso; }
  bool parityCheck() const override { return parity; }
  bool blankCheck() const override { return blankCheckTicked; }
  bool systemAreaFixed() const override { return fixed; }
  int systemAreaIndex() const override { return comboIndex; }
  void setSystemAreaIndex(int i) override { comboIndex = i; }
  int sdkBondingId() const override { return bondingId; }
  std::vector<std::string> copyList() const override { return files; }
};

}  // namespace station::testing

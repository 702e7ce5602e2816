// The operator's production settings as a run reads them: each one at the moment a step
// reaches it, so a change made during a run reaches the steps still to come. The window
// model implements it thread-safely.
#pragma once

#include <string>
#include <vector>

namespace station {

class RunSettings {
 public:
  virtual ~RunSettings() = default;

  virtual bool format() const = 0;           // format the user area, not only label it
  virtual std::string label() const = 0;     // the volume label
  virtual bool firmwareUpgrade() const = 0;  // write program, preferences (and disk image)
  virtual bool isoUpgrade() const = 0;       // write the disk image (virtual CD-ROM)
  virtual bool parityCheck() const = 0;      // check the firmware's parity after writing
  virtual bool blankCheck() const = 0;       // blanking check instead of bad-block check

  // The fixed system area size: whether it is fixed, and its index (size (index+1)*4 MB,
  // -1 when none is chosen). A fixed size too small for the images is raised.
  virtual bool systemAreaFixed() const = 0;
  virtual int systemAreaIndex() const = 0;
  virtual void setSystemAreaIndex(int index) = 0;

  // The chip variant the firmware was built for: 0 none, 255 any variant.
  virtual int sdkBondingId() const = 0;
  // Full paths of the files every player receives.
  virtual std::vector<std::string> copyList() const = 0;
};

}  // namespace station

// The copy list of the window model: the files every player receives (SelectFileList2),
// the operator's selection in it, and the chip variant its firmware was built for.
#pragma once

#include <string>
#include <vector>

#include "station/model/model_core.h"

namespace station {

class CopyListModel {
 public:
  explicit CopyListModel(ModelCore& core) : core_(core) {}

  std::vector<std::string> copyList() const;
  // A new list, nothing selected.
  void setCopyList(std::vector<std::string> items);
  void appendCopyItems(const std::vector<std::string>& items);
  std::vector<int> selection() const;
  // Positions outside the list are dropped; each position counts once.
  void setSelection(std::vector<int> selection);
  // Removes the selected items walking from the last to the first.
  void removeSelectedItems();

  int sdkBondingId() const;  // 0 none, 255 any variant
  void setSdkBondingId(int id);

 private:
  void publishList() const;  // lock held

  ModelCore& core_;
  std::vector<std::string> copyList_;
  std::vector<int> selection_;
  int sdkBondingId_ = 0;
};

}  // namespace station

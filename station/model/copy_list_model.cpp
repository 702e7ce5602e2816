#include "station/model/copy_list_model.h"

#include <algorithm>

namespace station {

void CopyListModel::publishList() const { core_.publish(CopyListChanged{copyList_, selection_}); }

std::vector<std::string> CopyListModel::copyList() const {
  auto held = core_.lock();
  return copyList_;
}

void CopyListModel::setCopyList(std::vector<std::string> items) {
  auto held = core_.lock();
  copyList_ = std::move(items);
  selection_.clear();
  publishList();
}

void CopyListModel::appendCopyItems(const std::vector<std::string>& items) {
  auto held = core_.lock();
  copyList_.insert(copyList_.end(), items.begin(), items.end());
  publishList();
}

std::vector<int> CopyListModel::selection() const {
  auto held = core_.lock();
  return selection_;
}

void CopyListModel::setSelection(std::vector<int> selection) {
  auto held = core_.lock();
  std::sort(selection.begin(), selection.end());
  selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
  std::erase_if(selection, [&](int i) { return i < 0 || i >= static_cast<int>(copyList_.size()); });
  selection_ = std::move(selection);
  publishList();
}

void CopyListModel::removeSelectedItems() {
  auto held = core_.lock();
  for (auto it = selection_.rbegin(); it != selection_.rend(); ++it)
    copyList_.erase(copyList_.begin() + *it);
  selection_.clear();
  publishList();
}

int CopyListModel::sdkBondingId() const {
  auto held = core_.lock();
  return sdkBondingId_;
}

void CopyListModel::setSdkBondingId(int id) {
  auto held = core_.lock();
  sdkBondingId_ = id & 0xFF;
}

}  // namespace station

#include "station/model/model_core.h"

namespace station {

int ModelCore::addListener(Listener listener) {
  Lock held = lock();
  listeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

void ModelCore::removeListener(int id) {
  Lock held = lock();
  std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void ModelCore::publish(const Change& change) const {
  for (const auto& [id, listener] : listeners_) listener(change);
}

}  // namespace station

// The one lock and the one ordered stream of change records that every part of the window
// model shares: a change is one step under the lock, and its record reaches the listeners
// under that lock, so they see the records of all parts in the order the changes were made.
#pragma once

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "station/model/model_changes.h"

namespace station {

class ModelCore {
 public:
  using Listener = std::function<void(const Change&)>;
  using Lock = std::unique_lock<std::mutex>;

  // Listeners must not call back into the model; they copy or forward the record.
  int addListener(Listener listener);
  void removeListener(int id);

  Lock lock() const { return Lock(mu_); }
  // With the lock held.
  void publish(const Change& change) const;

 private:
  mutable std::mutex mu_;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextListener_ = 1;
};

}  // namespace station

#include "station/engine/product_thread.h"

#include "station/engine/production_sequence.h"
#include "station/engine/run_observer.h"

#include <memory>
#include <system_error>
#include <thread>

namespace station {
namespace {

// What one worker owns: its drive letter; where it reports and what it reads are the
// window's.
struct ProductThread {
  RunReporter& report;
  RunSettings& settings;
  const platform::Players& players;
  const char drive;

  void run() {
    std::unique_ptr<ProductionDevice> device = makeSystemProductionDevice(report, settings, players);
    std::unique_ptr<RunObserver> observer = newRunObserver(report, settings);
    runProduction(report, settings, *device, systemPauses(), drive, observer.get());
  }
};

}  // namespace

void startProductThread(RunReporter& report, RunSettings& settings,
                        const platform::Players& players, char drive) {
  // The fields are set before the thread exists; the thread owns the object and frees it
  // when its sequence has returned. Nobody joins it.
  auto worker = std::make_unique<ProductThread>(ProductThread{report, settings, players, drive});
  try {
    std::thread([w = std::move(worker)] { w->run(); }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the player gets no run, as if it had not been accepted.
  }
}

}  // namespace station

// What a production run tells an observer as it goes (the production records listen here).
// Every call is made on the run's own thread and must neither throw nor take long: an
// observer can never delay or fail production. The default does nothing.
#pragma once

#include "station/ops/device_tool.h"
#include "station/ops/run_reporter.h"
#include "station/ops/run_settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace station {

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The run found its slot.
  virtual void runBegan(char /*drive*/, int /*slot*/) {}
  // A step of the run begins; `step` is a short fixed name ("manager", "program", ...).
  virtual void stepBegan(const char* /*step*/) {}
  virtual void portFound(int /*hubPort*/, int /*port*/) {}
  virtual void chipVariant(uint32_t /*variant*/) {}
  virtual void systemArea(int /*units*/) {}
  virtual void flashIdentified(uint32_t /*flashId*/, uint32_t /*chipCount*/,
                               const std::string& /*table*/) {}
  virtual void packageWritten(PackageKind /*kind*/) {}
  virtual void capacity(uint32_t /*mib*/, bool /*fat32*/) {}
  // The run failed in the current step, showing `rowText`.
  virtual void failed(const std::string& /*rowText*/) {}
  // Just before the tally.
  virtual void runEnding(bool /*success*/, bool /*unreset*/) {}
};

using RunObserverFactory =
    std::function<std::unique_ptr<RunObserver>(const RunReporter&, const RunSettings&)>;

// The observer every ProductThread run gets; none set: runs are not observed. `closing`
// runs when the station closes (what the observers keep is written then).
void setRunObserverFactory(RunObserverFactory factory, std::function<void()> closing = {});
void closeRunObservers();
std::unique_ptr<RunObserver> newRunObserver(const RunReporter& report,
                                            const RunSettings& settings);

}  // namespace station

#include "station/engine/run_observer.h"

#include <mutex>

namespace station {
namespace {

std::mutex factoryMutex;
RunObserverFactory& factory() {
  static RunObserverFactory f;
  return f;
}

std::function<void()>& closingHook() {
  static std::function<void()> f;
  return f;
}

}  // namespace

void setRunObserverFactory(RunObserverFactory f, std::function<void()> closing) {
  std::lock_guard<std::mutex> lock(factoryMutex);
  factory() = std::move(f);
  closingHook() = std::move(closing);
}

void closeRunObservers() {
  std::function<void()> closing;
  {
    std::lock_guard<std::mutex> lock(factoryMutex);
    closing = closingHook();
  }
  if (closing) closing();
}

std::unique_ptr<RunObserver> newRunObserver(const RunReporter& report,
                                            const RunSettings& settings) {
  RunObserverFactory f;
  {
    std::lock_guard<std::mutex> lock(factoryMutex);
    f = factory();
  }
  std::unique_ptr<RunObserver> observer;
  if (f) {
    try {
      observer = f(report, settings);
    } catch (...) {
      observer.reset();  // recording is never a reason for a run not to happen
    }
  }
  if (!observer) observer = std::make_unique<RunObserver>();
  return observer;
}

}  // namespace station

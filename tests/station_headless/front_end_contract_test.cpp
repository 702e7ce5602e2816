// The headless front end keeps the front ends' contract.
#include "support/front_end_contract.h"

#include "station/frontend/headless/headless.h"

namespace station::testing {
namespace {

TEST(FrontEndContract, Headless) {
  HeadlessFrontEnd fe([](const std::string&) {});
  createWindow(fe, mainWindowDesc());
  createWindow(fe, previewWindowDesc());
  FrontEndSubject s;
  s.frontEnd = &fe;
  s.text = [&](const std::string& n) { return fe.control(n).text; };
  s.enabled = [&](const std::string& n) { return fe.control(n).enabled; };
  s.visible = [&](const std::string& n) { return fe.control(n).visible; };
  s.checked = [&](const std::string& n) { return fe.control(n).checked; };
  s.value = [&](const std::string& n) { return fe.control(n).value; };
  s.items = [&](const std::string& n) { return fe.control(n).items; };
  s.colour = [&](const std::string& n) { return std::string(colourName(fe.control(n).colour)); };
  s.settle = [&](int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      fe.runQueued();
      fe.runTimers(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() < until);
    fe.runQueued();
  };
  checkFrontEndContract(s);
}

}  // namespace
}  // namespace station::testing

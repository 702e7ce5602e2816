// The headless station's command lines, one a line, on a station in a private folder:
// each is answered by exactly one line, "ok: ..." or "error: ...", and an error changes
// neither the copy list nor the label.
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <memory>
#include <string>
#include <thread>

#include "fuzz/sandbox.h"
#include "station/frontend/headless/headless.h"
#include "station/model/station_model.h"
#include "station/window/binder.h"
#include "station/window/window_description.h"

namespace {

struct Station {
  station::LanguageTable languages;
  std::unique_ptr<station::StationModel> model;
  std::unique_ptr<station::HeadlessFrontEnd> frontEnd;
  std::unique_ptr<station::Binder> binder;

  Station() {
    fuzz::writeFile(fuzz::sandbox() + "/song.mp3", "ID3");
    station::ModelOptions o;
    o.programFolder = fuzz::sandbox();
    o.languages = &languages;
    o.langId = 0x0409;
    model = std::make_unique<station::StationModel>(o);
    model->setRunStarter([](char) {});  // nothing is produced
    model->setMessageHandler([](const station::ModalMessage&) {});
    frontEnd = std::make_unique<station::HeadlessFrontEnd>([](const std::string&) {});
    binder = std::make_unique<station::Binder>(*model, *frontEnd);
    binder->create(station::mainWindowDesc());
    binder->renderAll();
    model->setWindowThread(std::this_thread::get_id());
    binder->attach();
    binder->shown();
    frontEnd->runQueued();
  }
};

Station* s = nullptr;  // one station for the whole run, as an operator has

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The start-up order makes the program folder the current one; libFuzzer's folders are
  // named from where it was started.
  std::error_code ec;
  const auto here = std::filesystem::current_path(ec);
  s = new Station();
  std::filesystem::current_path(here, ec);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  for (std::string line; std::getline(in, line);) {
    const auto list = s->model->files().copyList();
    const std::string label = s->frontEnd->control("LabelEdit").text;
    bool quit = false;
    std::string answer = station::runHeadlessCommand(*s->model, *s->binder, *s->frontEnd, line, quit);
    while (s->frontEnd->runQueued()) {
    }
    if (answer.rfind("ok: ", 0) != 0 && answer.rfind("error: ", 0) != 0) std::abort();
    if (answer.find('\n') != std::string::npos) std::abort();  // one line, always
    if (answer.rfind("error: ", 0) == 0 &&
        (s->model->files().copyList() != list || s->frontEnd->control("LabelEdit").text != label))
      std::abort();
    // A long copy list slows every later input down: start again from an empty one.
    if (s->model->files().copyList().size() > 64) s->model->files().setCopyList({});
  }
  return 0;
}

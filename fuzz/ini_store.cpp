// The INI store on arbitrary file contents: reads and writes never go wrong, a value
// written is read back, and the production settings survive a save and a load.
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/sandbox.h"
#include "station/settings/profile_store.h"
#include "station/settings/settings.h"

namespace {

namespace store = station::profile_store;

// Names the settings use, and one that no file of ours has.
constexpr std::string_view kNames[][2] = {
    {"MP_Setting", "Label"}, {"Animation", "Width"}, {"", "orphan"}, {"fz", "Key 1"}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  for (const auto& [section, key] : kNames) {
    store::read(content, section, key, "dflt  ");
    // A plain value, once written, is what a read of the same names gives.
    const std::string written = store::write(content, section, key, "v42");
    if (store::read(written, section, key, "") != "v42") std::abort();
  }

  // Loading takes any file; what it loaded is what a save and a second load give.
  const std::string path = fuzz::sandbox() + "/prefer.ini";
  fuzz::writeFile(path, content);
  station::Settings first;
  first.load(path);
  if (first.save(path)) std::abort();
  station::Settings second;
  second.load(path);
  if (!(first == second)) std::abort();
  return 0;
}

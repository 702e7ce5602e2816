// The volume event parsers: the Windows device-change decoder on arbitrary fields, and the
// simulated players' events file on arbitrary contents arriving in pieces. Every notice
// names drive letters only, and a well-formed line appended after any contents is still
// heard (a bad line does not deafen the station).
// Input: 12 bytes of message fields, then the events file's contents.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/sandbox.h"
#include "platform/volume_events.h"

namespace {

bool lettersOnly(const platform::VolumeNotice& n) {
  if (n.letters.empty()) return false;
  for (char c : n.letters)
    if (c < 'A' || c > 'Z') return false;
  return true;
}

void append(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) return 0;
  std::uint32_t field[3];
  std::memcpy(field, data, sizeof field);
  if (auto notice = platform::decodeDeviceChange(field[0], field[1], field[2])) {
    if (!lettersOnly(*notice) || notice->letters.size() > 26) std::abort();
  }

  const std::string_view content(reinterpret_cast<const char*>(data) + 12, size - 12);
  const std::string root = fuzz::sandbox();
  const std::string path = root + "/events";
  fuzz::writeFile(path, "");
  auto events = platform::makeSimVolumeEvents(root);
  // In three pieces, so lines are also cut where a writer's append would be seen half.
  const std::size_t cut[] = {0, content.size() / 3, content.size() * 2 / 3, content.size()};
  for (int i = 0; i < 3; ++i) {
    append(path, content.substr(cut[i], cut[i + 1] - cut[i]));
    for (const platform::VolumeNotice& n : events->poll())
      if (!lettersOnly(n) || n.letters.size() != 1) std::abort();
  }

  // The next line tarnsim would write: numbered after every line already there.
  std::size_t lines = 1;
  for (char c : content) lines += c == '\n';
  append(path, "\n" + std::to_string(lines + 1) + " plug Q\n");
  bool heard = false;
  for (const platform::VolumeNotice& n : events->poll())
    heard = heard || (n.change == platform::VolumeChange::Arrival && n.letters == "Q");
  if (!heard) std::abort();
  return 0;
}

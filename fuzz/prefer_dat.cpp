// prefer.dat on arbitrary bytes: the header decodes and encodes back to the same bytes,
// and every frame of both animations is read only where it lies inside the file.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/sandbox.h"
#include "station/settings/prefer_package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= station::kHeaderSize) {
    const station::PreferHeader header = station::decodeHeader(data);
    if (std::memcmp(station::encodeHeader(header).data(), data, station::kHeaderSize) != 0)
      std::abort();
  }

  const std::string path = fuzz::sandbox() + "/prefer.dat";
  fuzz::writeFile(path, data, size);
  station::PackageInfo info;
  if (station::readPackageInfo(path, info)) return 0;
  if (info.fileLength != size) std::abort();
  info.startupLayoutOk();
  info.shutdownLayoutOk();
  station::headerFields(info.header);

  const std::uint64_t frame = std::uint64_t(info.header.Width) * info.header.Height * 2;
  for (auto [animation, count] : {std::pair{station::Animation::Startup, station::kStartupFrames},
                                  std::pair{station::Animation::Shutdown, station::kShutdownFrames}}) {
    for (int n = 0; n < count; ++n) {
      station::Picture picture;
      if (station::readPackageFrame(path, animation, n, picture)) continue;
      if (picture.rgb.size() * 2 != frame || frame > size) std::abort();
    }
  }
  return 0;
}

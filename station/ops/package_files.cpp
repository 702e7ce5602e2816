#include "station/ops/package_files.h"

#include <algorithm>
#include <array>

#include "base/ascii.h"

namespace station {

namespace {

struct Names {
  const char* name;
  std::array<const char*, 4> spellings;  // null-ended
};

const Names kNames[] = {
    {"program.bin", {"program.bin", "PROGRAM.BIN", nullptr, nullptr}},
    {"prefer.dat", {"prefer.dat", "PREFER.DAT", nullptr, nullptr}},
    {"Image.ISO", {"Image.ISO", "image.iso", "image.ISO", "IMAGE.ISO"}},
};

const Names& namesOf(PackageKind kind) { return kNames[static_cast<int>(kind) - 1]; }

}  // namespace

const char* packageFileName(PackageKind kind) { return namesOf(kind).name; }

bool isPackageFileName(std::string_view fileName, PackageKind kind, NameMatch match) {
  const Names& n = namesOf(kind);
  if (match == NameMatch::AnyCase && kind != PackageKind::DiskImage) return tarn::equalsIgnoringCase(fileName, n.name);
  return std::any_of(n.spellings.begin(), n.spellings.end(),
                     [&](const char* s) { return s && fileName == s; });
}

}  // namespace station

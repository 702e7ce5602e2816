// The firmware images a copy list may carry (program.bin, prefer.dat, Image.ISO): their
// names and the spellings each place that looks for them accepts.
#pragma once

#include <string_view>

namespace station {

enum class PackageKind { Firmware = 1, Preferences = 2, DiskImage = 3 };

// The name the kind is known by.
const char* packageFileName(PackageKind kind);

enum class NameMatch {
  AnyCase,    // program.bin and prefer.dat in any letter case
  Spellings,  // only program.bin / PROGRAM.BIN, prefer.dat / PREFER.DAT
};

// Whether a file name (no folder) names the kind. The disk image is known by its four
// spellings only (Image.ISO, image.iso, image.ISO, IMAGE.ISO), whichever the match.
bool isPackageFileName(std::string_view fileName, PackageKind kind, NameMatch match);

}  // namespace station

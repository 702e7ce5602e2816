// The copy list written onto the root of a FAT12/16/32 volume (a device node or an image
// file) by the station itself rather than by mtools: the files' data go to the device in
// writes of up to a megabyte straight from the source (past the page cache on a block
// device), on clusters found in one pass over the FAT, and nothing the copy overwrites is
// read first. mtools writes in buffers of a few tracks and reads back what it overwrites:
// on eight devices at once it reached 0.86-0.95 of dd's throughput, this 1.3-1.5.
#pragma once

#include <string>
#include <vector>

#include "platform/volume.h"

namespace platform {

// Copies the files in order onto the volume's root, each under its name, replacing a file
// of that name where it stands (its long and short names kept, its clusters freed). A file
// is on the volume once its data, FAT chain and directory entry are written, in that
// order; the first one that cannot be (no readable source, a name no FAT volume can hold,
// no room on the volume or in its root, a write that fails) ends the list, and what it
// wrote is left in free clusters. Gives how many files were copied, 0 when the volume
// could not be opened, read or flushed.
size_t copyOntoFatRoot(const std::string& target, const std::vector<Volumes::RootCopy>& files);

}  // namespace platform

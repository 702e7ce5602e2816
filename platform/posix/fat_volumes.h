// Volume operations on a FAT volume that is a file or a device node, with dosfstools and
// mtools and the station's own copy (fat_root_copy.h), never mounted: a simulated player's volume.img and a real player's block
// device (or its first partition) are served by the same code.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/volume.h"

namespace platform {

// The file or node that holds the drive's volume now; empty when the drive cannot be
// reached (a simulated player that is unplugged, a device whose binding has ended), and
// then the operation fails without touching anything. It is asked again when an operation
// ends: a drive that went away meanwhile fails the operation, as a pulled drive does.
using VolumeResolver = std::function<std::string(char drive)>;

std::unique_ptr<Volumes> makeFatVolumes(VolumeResolver resolve);

}  // namespace platform

#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/NewImage.h"

namespace tamberlane {

// The file system a new volume of this size gets (its cluster count decides).
FATType fileSystemOf(DiskSize size);
// The empty formatted FAT volume of a size (boot sector, two FATs, root directory).
Bytes buildNewVolume(DiskSize size);

} // namespace tamberlane

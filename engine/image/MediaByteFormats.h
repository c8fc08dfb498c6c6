#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/image/BIOSParameterBlock.h"
#include "engine/image/ImageFileReader.h"

#include <optional>

namespace tamberlane::MediaByteFormats {

// The parameters of a floppy whose boot sector carries no BPB (early MSX-DOS and
// DOS 1 disks), read from the media byte that starts its first FAT.
struct InferredFloppy {
    DiskGeometry geometry;
    BIOSParameterBlock bpb;
};

// A standard format whose media byte (F8-FF) starts the first FAT, followed by FF FF,
// and whose size is exactly `volume`'s.
std::optional<InferredFloppy> inferFloppy(const ImageFileReader& volume);

} // namespace tamberlane::MediaByteFormats

#pragma once

#include "engine/image/BIOSParameterBlock.h"

#include <cstdint>

namespace tamberlane {

// What the user enters to open an image whose boot sector is not where its container
// says. sectorsPerCluster is kept for the form; opening uses the boot sector's value.
struct ManualParameters {
    FATType fatType = FATType::fat12;
    std::int64_t bytesPerSector = 512;
    std::int64_t sectorsPerCluster = 1;
    std::int64_t dataOffset = 0;
    std::int64_t heads = 2;
    std::int64_t cylinders = 80;
    std::int64_t sectorsPerTrack = 18;

    bool operator==(const ManualParameters&) const = default;
};

} // namespace tamberlane

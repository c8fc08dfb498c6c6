#pragma once

#include <cstdint>

namespace tamberlane {

struct BIOSParameterBlock {
    std::uint16_t bytesPerSector = 0;
    std::uint8_t sectorsPerCluster = 0;
    std::uint16_t reservedSectors = 0;
    std::uint8_t numberOfFATs = 0;
    std::uint16_t rootEntryCount = 0;
    std::uint16_t totalSectors16 = 0;
    std::uint8_t mediaDescriptor = 0;
    std::uint16_t sectorsPerFAT = 0;

    bool operator==(const BIOSParameterBlock&) const = default;
};

enum class FATType { fat12, fat16 };

} // namespace tamberlane

#pragma once

#include "engine/base/Bytes.h"

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
    // Offset 32; volumes past 65535 sectors keep their size here with the 16-bit count 0.
    std::uint32_t totalSectors32 = 0;

    // The size of the volume in sectors, whichever field holds it. Every size and limit
    // goes through this; the 16-bit field alone is only ever shown.
    std::int64_t volumeSectorCount() const {
        return totalSectors16 != 0 ? std::int64_t{totalSectors16} : std::int64_t{totalSectors32};
    }
    std::int64_t volumeBytes() const { return volumeSectorCount() * bytesPerSector; }

    bool operator==(const BIOSParameterBlock&) const = default;
};

enum class FATType { fat12, fat16 };

// Cluster numbers are 16-bit, so no volume here has more data clusters than this.
inline constexpr std::int64_t maxFAT16Clusters = 65525;

// Reads and validates the BPB of a boot sector; the container detection trusts a volume
// only when this accepts it.
BIOSParameterBlock parseBPB(ByteView sector);
void validateBPB(const BIOSParameterBlock& bpb);
std::int64_t calculateTotalClusters(const BIOSParameterBlock& bpb);

} // namespace tamberlane

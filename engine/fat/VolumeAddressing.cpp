#include "engine/fat/VolumeAddressing.h"

#include <algorithm>

namespace tamberlane {

VolumeAddressing::VolumeAddressing(const BIOSParameterBlock& bpb, std::int64_t dataOffset,
                                   std::int64_t fatEntries)
    : bpb_(bpb), dataOffset_(dataOffset), fatEntries_(fatEntries) {}

std::int64_t VolumeAddressing::rootDirectorySectors() const {
    if (bpb_.bytesPerSector == 0) {
        return 0;
    }
    return (static_cast<std::int64_t>(bpb_.rootEntryCount) * 32 + bpb_.bytesPerSector - 1) /
           bpb_.bytesPerSector;
}

std::int64_t VolumeAddressing::firstDataSector() const {
    return rootDirectoryStartSector() + rootDirectorySectors();
}

std::int64_t VolumeAddressing::bytesPerCluster() const {
    return static_cast<std::int64_t>(bpb_.sectorsPerCluster) * bpb_.bytesPerSector;
}

std::int64_t VolumeAddressing::totalClusters() const {
    return std::max<std::int64_t>(0, fatEntries_ - 2);
}

std::int64_t VolumeAddressing::firstSectorOfCluster(std::uint16_t cluster) const {
    return firstDataSector() + (static_cast<std::int64_t>(cluster) - 2) * bpb_.sectorsPerCluster;
}

std::int64_t VolumeAddressing::sectorStart(std::int64_t lba) const {
    std::int64_t offset = 0;
    std::int64_t start = 0;
    if (__builtin_mul_overflow(lba, static_cast<std::int64_t>(bpb_.bytesPerSector), &offset) ||
        __builtin_add_overflow(dataOffset_, offset, &start)) {
        return -1;
    }
    return start;
}

std::int64_t VolumeAddressing::clusterOffset(std::uint16_t cluster) const {
    return sectorStart(firstSectorOfCluster(cluster));
}

} // namespace tamberlane

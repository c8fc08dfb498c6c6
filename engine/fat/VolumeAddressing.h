#pragma once

#include "engine/fat/FatArea.h"
#include "engine/image/BIOSParameterBlock.h"

#include <cstdint>

namespace tamberlane {

// Where a volume's areas, sectors and clusters lie in the image's bytes, from its boot
// parameters alone: the one place that does this arithmetic.
class VolumeAddressing {
  public:
    // `fatEntries`: the entries of the FAT as decoded, the two reserved ones included.
    VolumeAddressing(const BIOSParameterBlock& bpb, std::int64_t dataOffset,
                     std::int64_t fatEntries);

    FatArea fatArea() const { return FatArea(bpb_); }
    std::int64_t rootDirectorySectors() const;
    std::int64_t rootDirectoryStartSector() const { return fatArea().endSector(); }
    std::int64_t firstDataSector() const;
    std::int64_t bytesPerCluster() const;
    // Data clusters: the FAT's entries past the two reserved ones.
    std::int64_t totalClusters() const;
    std::int64_t firstSectorOfCluster(std::uint16_t cluster) const;
    // The byte of the image's data a sector or cluster starts at; -1 when past the integer
    // range (a sector number may come from the user).
    std::int64_t sectorStart(std::int64_t lba) const;
    std::int64_t clusterOffset(std::uint16_t cluster) const;

  private:
    BIOSParameterBlock bpb_;
    std::int64_t dataOffset_;
    std::int64_t fatEntries_;
};

} // namespace tamberlane

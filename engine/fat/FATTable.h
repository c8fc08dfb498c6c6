#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/BIOSParameterBlock.h"

#include <cstdint>
#include <vector>

namespace tamberlane {

// The decoded first FAT of a volume: one link per cluster number, index 0 and 1 kept
// as read. A plain value: copies (undo snapshots) never see later changes.
class FATTable {
  public:
    FATTable() = default;
    FATTable(std::vector<std::uint16_t> entries, FATType fatType);

    std::vector<std::uint16_t> entries;
    FATType fatType = FATType::fat12;

    std::uint16_t badValue() const;
    std::uint16_t endOfChainValue() const;
    // Largest value that is a link to another cluster.
    std::uint16_t maxLinkValue() const;
    // Highest cluster number that may be handed out: a cluster numbered 0xFF0-0xFF6
    // (FAT12) would read back as end of chain when linked to.
    std::uint16_t maxAllocatableCluster() const;

    // Clusters at or above this limit are never allocated and never counted as free
    // (the image cannot store them). Defaults to the table's size.
    std::int64_t allocationLimit() const;
    void setAllocationLimit(std::int64_t limit) { allocationLimit_ = limit; }
    // Clusters below the limit that cannot be stored either (true = never allocated).
    void setBlockedClusters(std::vector<bool> blocked) { blocked_ = std::move(blocked); }
    // Free-able and storable: a cluster allocate may hand out when its entry is 0.
    bool isAllocatable(std::int64_t cluster) const;

    std::int64_t freeClusterCount() const;

    // Lowest free clusters first, linked in ascending order. Throws diskFull with
    // cluster counts; callers that talk to the user convert them to bytes.
    std::vector<std::uint16_t> allocate(std::int64_t count);
    void free(std::uint16_t startCluster);

    Bytes serializeFAT12() const;
    Bytes serializeFAT16() const;
    Bytes serialize() const {
        return fatType == FATType::fat12 ? serializeFAT12() : serializeFAT16();
    }

    bool operator==(const FATTable& other) const {
        return entries == other.entries && fatType == other.fatType;
    }

  private:
    std::int64_t allocationLimit_ = -1;
    std::vector<bool> blocked_;
};

} // namespace tamberlane

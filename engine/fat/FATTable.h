#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/BIOSParameterBlock.h"

#include <cstdint>
#include <vector>

namespace tamberlane {

// The decoded first FAT of a volume: one link per cluster number, index 0 and 1 kept
// as read. A plain value: copies (undo snapshots) never see later changes.
//
// Every change goes through it, so it keeps its free-cluster count and the lowest
// cluster that may be free up to date: an import of many files never rescans the table.
class FATTable {
  public:
    FATTable() = default;
    FATTable(std::vector<std::uint16_t> entries, FATType fatType);

    FATType fatType = FATType::fat12;

    const std::vector<std::uint16_t>& entries() const { return entries_; }
    std::uint16_t entry(std::size_t cluster) const { return entries_.at(cluster); }
    void setEntry(std::size_t cluster, std::uint16_t value);
    // Takes another decoding of the same FAT (same size), keeping the allocation limits.
    void replaceEntries(std::vector<std::uint16_t> entries);

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
    void setAllocationLimit(std::int64_t limit);
    // Clusters below the limit that cannot be stored either (true = never allocated).
    void setBlockedClusters(std::vector<bool> blocked);
    // Free-able and storable: a cluster allocate may hand out when its entry is 0.
    bool isAllocatable(std::int64_t cluster) const;

    std::int64_t freeClusterCount() const { return freeCount_; }

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
        return entries_ == other.entries_ && fatType == other.fatType;
    }

  private:
    void recount();
    // One entry changed from `old`: keeps the count and the search start true.
    void noteChange(std::size_t cluster, std::uint16_t old, std::uint16_t value);

    std::vector<std::uint16_t> entries_;
    std::int64_t allocationLimit_ = -1;
    std::vector<bool> blocked_;
    std::int64_t freeCount_ = 0;
    // No allocatable cluster below it is free.
    std::int64_t searchStart_ = 2;
};

} // namespace tamberlane

#pragma once

#include <optional>

namespace tamberlane {

// Which volume of a file an open reads: a disk of a multi-disk D88 file, a FAT partition
// of a partitioned hard disk (both counted from 0). What is not chosen is the first.
struct VolumeChoice {
    std::optional<int> disk = std::nullopt;
    std::optional<int> partition = std::nullopt;

    static VolumeChoice ofDisk(int index) { return {index, std::nullopt}; }
    static VolumeChoice ofPartition(int index) { return {std::nullopt, index}; }
    bool operator==(const VolumeChoice&) const = default;
};

} // namespace tamberlane

#pragma once

// Partition tables of hard-disk images; the FAT volume starts at a partition.
//
// PC/AT: sector 0 (512 bytes), signature 55 AA at 510, four 16-byte entries at 446:
//   +0 status (00 or 80), +4 type, +8 first sector (u32), +12 sector count (u32).
//   Types 01, 04, 06, 0E are FAT12/FAT16; 05, 0F, 85 an extended partition, a chain of
//   extended boot records: entry 0 a logical partition (from this record), entry 1 the
//   next record (from the extended partition's start).
//
// PC-98: sector 1 of the disk, sixteen 32-byte entries:
//   +0 boot/type (mid), +1 system (sid; low 7 bits 01, 11, 21 are FAT), +8 start sector,
//   +9 start head, +10 start cylinder (u16), +12 end sector, +13 end head, +14 end
//   cylinder (u16, inclusive), +16 name (16 bytes). Sectors count from 0.

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/image/ImageFileReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

enum class PartitionScheme { pcAT, pc98 };

struct PartitionInfo {
    int number = 0; // from 1, in table order (logical partitions after the primaries)
    PartitionScheme scheme = PartitionScheme::pcAT;
    std::uint8_t systemType = 0; // PC/AT type or PC-98 system byte
    std::int64_t offset = 0;     // byte offset of the partition in the container file
    std::int64_t size = 0;       // bytes
    std::string name;            // PC-98 name as stored (ASCII), empty for PC/AT

    bool operator==(const PartitionInfo&) const = default;
};

namespace PartitionTable {

// The FAT partitions of the disk whose sector 0 lies at `diskOffset` in `file`; empty when
// there is no partition table. `geometry` places PC-98 partitions (by cylinder); for a
// headerless file pass none, and common hard-disk geometries are tried. A table that
// points outside the data, has overlapping FAT partitions or an extended chain that
// loops is a DiskImageError.
std::vector<PartitionInfo> read(const ImageFileReader& file, std::int64_t diskOffset,
                                const std::optional<DiskGeometry>& geometry);

// The partitions with the geometry a PC-98 table was placed by (the one given, or the one
// found by trying common ones; cylinders 0). A PC/AT table counts in sectors and needs
// none: `placedBy` is then absent.
struct Layout {
    std::vector<PartitionInfo> partitions;
    std::optional<DiskGeometry> placedBy;
};
Layout readLayout(const ImageFileReader& file, std::int64_t diskOffset,
                  const std::optional<DiskGeometry>& geometry);

} // namespace PartitionTable

} // namespace tamberlane

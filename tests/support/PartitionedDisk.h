#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tamberlane::test {

// One 16-byte entry of a PC/AT partition table; sectors are 512 bytes.
struct ATEntrySpec {
    std::uint8_t type = 0;
    std::int64_t firstSector = 0;
    std::int64_t sectorCount = 0;
};
// A master or extended boot record: up to four entries and the 55 AA signature.
Bytes atTableSector(const std::vector<ATEntrySpec>& entries);

// One 32-byte entry of a PC-98 table; partitions start at sector 0, head 0 of a cylinder.
struct PC98EntrySpec {
    std::uint8_t system = 0xA1;
    std::int64_t startCylinder = 0;
    std::int64_t endCylinder = 0; // inclusive
    std::string name;
};
// Sector 1 of a PC-98 disk (512 bytes).
Bytes pc98TableSector(const std::vector<PC98EntrySpec>& entries);

// Copies `bytes` into `disk` at `offset`, growing it when needed.
void place(Bytes& disk, std::int64_t offset, ByteView bytes);

// A PC/AT disk with a FAT12 primary partition and a FAT16 logical partition behind an
// extended one, each holding one file; the disk ends with filler after the volumes.
struct PartitionedDisk {
    Bytes bytes;
    struct Volume {
        std::int64_t offset;
        std::int64_t size;
    };
    std::vector<Volume> volumes;
};
PartitionedDisk twoPartitionATDisk();
// A PC-98 disk of 8 heads and 17 sectors of 512 bytes: FAT12 on cylinders 1-40 and FAT16
// on 41-140, 150 cylinders in all (no container header).
PartitionedDisk twoPartitionPC98Disk();
// The same with the heads, sectors per track and sector size of `geometry`; the table is
// in sector 1, wherever that sector's size puts it.
PartitionedDisk twoPartitionPC98DiskWith(const DiskGeometry& geometry);

} // namespace tamberlane::test

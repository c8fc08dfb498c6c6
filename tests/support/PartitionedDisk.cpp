#include "tests/support/PartitionedDisk.h"

#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"

#include <algorithm>

namespace tamberlane::test {

Bytes atTableSector(const std::vector<ATEntrySpec>& entries) {
    Bytes sector(512, 0);
    for (std::size_t i = 0; i < entries.size() && i < 4; ++i) {
        const std::size_t at = 446 + 16 * i;
        sector[at + 4] = entries[i].type;
        writeU32LE(sector, at + 8, static_cast<std::uint32_t>(entries[i].firstSector));
        writeU32LE(sector, at + 12, static_cast<std::uint32_t>(entries[i].sectorCount));
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

Bytes pc98TableSector(const std::vector<PC98EntrySpec>& entries) {
    Bytes sector(512, 0);
    for (std::size_t i = 0; i < entries.size() && i < 16; ++i) {
        const std::size_t at = 32 * i;
        sector[at] = 0xA0;
        sector[at + 1] = entries[i].system;
        writeU16LE(sector, at + 10, static_cast<std::uint16_t>(entries[i].startCylinder));
        writeU16LE(sector, at + 14, static_cast<std::uint16_t>(entries[i].endCylinder));
        std::fill_n(sector.begin() + static_cast<std::ptrdiff_t>(at + 16), 16, ' ');
        std::copy_n(entries[i].name.begin(), std::min<std::size_t>(16, entries[i].name.size()),
                    sector.begin() + static_cast<std::ptrdiff_t>(at + 16));
    }
    return sector;
}

void place(Bytes& disk, std::int64_t offset, ByteView bytes) {
    const auto end = static_cast<std::size_t>(offset) + bytes.size();
    if (disk.size() < end) {
        disk.resize(end, 0);
    }
    std::copy(bytes.begin(), bytes.end(), disk.begin() + offset);
}

namespace {

Bytes volumeWithFile(std::int64_t clusters, const std::string& name,
                     std::uint16_t bytesPerSector = 512) {
    VolumeBuilder volume(VolumeParameters::withClusters(clusters, bytesPerSector));
    volume.addFile(volume.root(), name83(name),
                   patternBytes(3000, static_cast<std::uint8_t>(clusters)));
    return volume.build();
}

} // namespace

PartitionedDisk twoPartitionATDisk() {
    const Bytes fat12 = volumeWithFile(3000, "TWELVE.TXT");
    const Bytes fat16 = volumeWithFile(6000, "SIXTEEN.TXT");
    const std::int64_t fat12Sectors = static_cast<std::int64_t>(fat12.size()) / 512;
    const std::int64_t fat16Sectors = static_cast<std::int64_t>(fat16.size()) / 512;
    const std::int64_t extended = 63 + fat12Sectors;
    PartitionedDisk disk;
    disk.bytes =
        patternBytes(static_cast<std::size_t>((extended + 63 + fat16Sectors + 50) * 512), 5);
    place(disk.bytes, 0,
          atTableSector({{0x01, 63, fat12Sectors}, {0x05, extended, 63 + fat16Sectors}}));
    place(disk.bytes, extended * 512, atTableSector({{0x06, 63, fat16Sectors}}));
    place(disk.bytes, 63 * 512, fat12);
    place(disk.bytes, (extended + 63) * 512, fat16);
    disk.volumes = {{63 * 512, static_cast<std::int64_t>(fat12.size())},
                    {(extended + 63) * 512, static_cast<std::int64_t>(fat16.size())}};
    return disk;
}

PartitionedDisk twoPartitionPC98Disk() {
    return twoPartitionPC98DiskWith({8, 150, 17, 512});
}

PartitionedDisk twoPartitionPC98DiskWith(const DiskGeometry& geometry) {
    const std::int64_t sector = geometry.bytesPerSector;
    const std::int64_t cylinder = geometry.heads * geometry.sectorsPerTrack * sector;
    PartitionedDisk disk;
    disk.bytes = patternBytes(static_cast<std::size_t>(150 * cylinder), 6);
    std::fill_n(disk.bytes.begin(), sector + 512, 0);
    place(disk.bytes, sector,
          pc98TableSector({{0x81, 1, 40, "MS-DOS 3.30"}, {0xA1, 41, 140, "MS-DOS 6.20"}}));
    const auto sectorSize = static_cast<std::uint16_t>(sector);
    const Bytes fat12 = volumeWithFile(4000, "TWELVE.TXT", sectorSize);
    const Bytes fat16 = volumeWithFile(6000, "SIXTEEN.TXT", sectorSize);
    place(disk.bytes, cylinder, fat12);
    place(disk.bytes, 41 * cylinder, fat16);
    disk.volumes = {{cylinder, 40 * cylinder}, {41 * cylinder, 100 * cylinder}};
    return disk;
}

} // namespace tamberlane::test

#include "engine/fat/NewVolume.h"

#include "engine/fat/FATParser.h"
#include "engine/fat/FatArea.h"

#include <cstring>

namespace tamberlane {

namespace {

// Data clusters of a new volume; the FAT is left out of the sum, as FAT formatters do
// for this estimate, so the result decides the FAT width before the FAT is sized.
std::int64_t newVolumeClusters(const DiskSizeSpec& layout) {
    const std::int64_t bytesPerSector = layout.geometry.bytesPerSector;
    const std::int64_t rootDirSectors =
        (layout.rootEntries * 32 + bytesPerSector - 1) / bytesPerSector;
    return (layout.totalSectors - 1 - rootDirSectors) / layout.sectorsPerCluster;
}

} // namespace

FATType fileSystemOf(DiskSize size) {
    return FATParser::fatTypeForClusterCount(newVolumeClusters(sizeSpec(size)));
}

Bytes buildNewVolume(DiskSize size) {
    const DiskSizeSpec& layout = sizeSpec(size);
    const std::int64_t bytesPerSector = layout.geometry.bytesPerSector;
    const std::int64_t clusters = newVolumeClusters(layout);
    const bool isFAT16 = fileSystemOf(size) == FATType::fat16;
    const std::int64_t fatBytes = isFAT16 ? 2 * clusters + 4 : (3 * clusters + 7) / 2;
    const std::int64_t sectorsPerFAT = (fatBytes + bytesPerSector - 1) / bytesPerSector;

    Bytes volume(static_cast<std::size_t>(layout.totalSectors * bytesPerSector), 0);
    const std::uint8_t jump[] = {0xEB, 0x3C, 0x90};
    std::memcpy(volume.data(), jump, 3);
    std::memcpy(volume.data() + 3, "MSDOS5.0", 8);
    writeU16LE(volume, 11, static_cast<std::uint16_t>(bytesPerSector));
    volume[13] = static_cast<std::uint8_t>(layout.sectorsPerCluster);
    writeU16LE(volume, 14, 1);
    volume[16] = 2;
    writeU16LE(volume, 17, static_cast<std::uint16_t>(layout.rootEntries));
    writeU16LE(volume, 19, static_cast<std::uint16_t>(layout.totalSectors));
    volume[21] = layout.media;
    writeU16LE(volume, 22, static_cast<std::uint16_t>(sectorsPerFAT));
    writeU16LE(volume, 24, static_cast<std::uint16_t>(layout.geometry.sectorsPerTrack));
    writeU16LE(volume, 26, static_cast<std::uint16_t>(layout.geometry.heads));
    volume[510] = 0x55;
    volume[511] = 0xAA;
    const FatArea area(parseBPB(ByteView(volume).first(static_cast<std::size_t>(bytesPerSector))));
    for (std::int64_t copy = 0; copy < area.copies(); ++copy) {
        const auto fat = volume.begin() + area.copyOffset(copy);
        fat[0] = layout.media;
        fat[1] = 0xFF;
        fat[2] = 0xFF;
        if (isFAT16) {
            fat[3] = 0xFF;
        }
    }
    return volume;
}

} // namespace tamberlane

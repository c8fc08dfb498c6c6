#include "engine/image/MediaByteFormats.h"

#include <array>

namespace tamberlane::MediaByteFormats {

namespace {

struct StandardFloppy {
    std::uint8_t media;
    DiskGeometry geometry;
    std::uint8_t sectorsPerCluster;
    std::uint16_t rootEntryCount;
    std::uint16_t sectorsPerFAT;
};

// One reserved sector and two FATs throughout. A media byte names more than one format
// (F9, FE), which the size tells apart.
constexpr std::array<StandardFloppy, 8> standardFloppies = {{
    {0xFF, {2, 40, 8, 512}, 2, 112, 1},  // 320 KB
    {0xFA, {1, 80, 8, 512}, 2, 112, 1},  // 320 KB, one side
    {0xFD, {2, 40, 9, 512}, 2, 112, 2},  // 360 KB
    {0xF8, {1, 80, 9, 512}, 2, 112, 2},  // 360 KB, one side
    {0xFB, {2, 80, 8, 512}, 2, 112, 2},  // 640 KB
    {0xF9, {2, 80, 9, 512}, 2, 112, 3},  // 720 KB
    {0xF9, {2, 80, 15, 512}, 1, 224, 7}, // 1.2 MB
    {0xFE, {2, 77, 8, 1024}, 1, 192, 2}, // 1.25 MB 2HD
}};

} // namespace

std::optional<InferredFloppy> inferFloppy(const ImageFileReader& volume) {
    const std::int64_t size = volume.size();
    for (const StandardFloppy& format : standardFloppies) {
        const std::int64_t fatStart = format.geometry.bytesPerSector;
        if (format.geometry.totalBytes() != size || !volume.holds(fatStart, 3)) {
            continue;
        }
        const Bytes fat = volume.read(fatStart, 3);
        if (fat[0] != format.media || fat[1] != 0xFF || fat[2] != 0xFF) {
            continue;
        }
        BIOSParameterBlock bpb;
        bpb.bytesPerSector = static_cast<std::uint16_t>(format.geometry.bytesPerSector);
        bpb.sectorsPerCluster = format.sectorsPerCluster;
        bpb.reservedSectors = 1;
        bpb.numberOfFATs = 2;
        bpb.rootEntryCount = format.rootEntryCount;
        bpb.totalSectors16 = static_cast<std::uint16_t>(size / format.geometry.bytesPerSector);
        bpb.mediaDescriptor = format.media;
        bpb.sectorsPerFAT = format.sectorsPerFAT;
        return InferredFloppy{format.geometry, bpb};
    }
    return std::nullopt;
}

} // namespace tamberlane::MediaByteFormats

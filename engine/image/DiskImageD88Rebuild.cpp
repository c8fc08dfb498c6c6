#include "engine/image/DiskImage.h"

#include <algorithm>

namespace tamberlane {

// Puts the flat volume back into the track records of the file as it was read, walking
// the tracks exactly as extraction does; headers, IDs and every byte outside the disk's
// sectors stay as they were, and the file size never changes.
Bytes DiskImage::rebuildD88Data(ByteView flatData, ByteView originalD88,
                                const DiskGeometry& geometry, std::int64_t diskOffset) {
    Bytes result(originalD88.begin(), originalD88.end());
    const std::int64_t fileSize = static_cast<std::int64_t>(result.size());
    if (diskOffset < 0 || diskOffset >= fileSize || geometry.sectorsPerTrack <= 0 ||
        geometry.bytesPerSector <= 0) {
        return result;
    }
    const ByteView disk = ByteView(result).subspan(static_cast<std::size_t>(diskOffset));
    const std::int64_t diskSize = static_cast<std::int64_t>(disk.size());
    const std::int64_t flatSize = static_cast<std::int64_t>(flatData.size());
    for (std::int64_t t = 0; t < 164; ++t) {
        const std::int64_t entry = 32 + 4 * t;
        if (!rangeFits(entry, 4, diskSize)) {
            break;
        }
        const std::int64_t trackOffset = readU32LE(disk, static_cast<std::size_t>(entry));
        if (trackOffset == 0 || trackOffset >= diskSize) {
            continue;
        }
        std::int64_t pos = trackOffset;
        for (std::int64_t s = 0; s < geometry.sectorsPerTrack; ++s) {
            if (!rangeFits(pos, 16, diskSize)) {
                break;
            }
            const std::int64_t record = disk[static_cast<std::size_t>(pos + 2)];
            const std::int64_t size = readU16LE(disk, static_cast<std::size_t>(pos + 14));
            if (size == 0 || !rangeFits(pos + 16, size, diskSize)) {
                break;
            }
            const std::int64_t src =
                (t * geometry.sectorsPerTrack + record - 1) * geometry.bytesPerSector;
            const std::int64_t length = std::min(size, geometry.bytesPerSector);
            if (src >= 0 && rangeFits(src, length, flatSize)) {
                std::copy_n(flatData.begin() + src, length,
                            result.begin() + diskOffset + pos + 16);
            }
            pos += 16 + size;
        }
    }
    return result;
}

} // namespace tamberlane

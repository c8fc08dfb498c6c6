#include "engine/image/DiskImage.h"
#include "engine/image/formats/D88Format.h"

#include <algorithm>

namespace tamberlane {

// Puts the flat volume back into the track records of the file as it was read, walking
// the tracks exactly as extraction does. Only the chosen disk's sector data changes:
// headers, IDs, the other disks of the file and its size stay as they were.
Bytes DiskImage::rebuildD88Data(ByteView flatData, ByteView originalD88,
                                const DiskGeometry& geometry, std::int64_t diskOffset) {
    Bytes result(originalD88.begin(), originalD88.end());
    const std::int64_t fileSize = static_cast<std::int64_t>(result.size());
    if (diskOffset < 0 || diskOffset >= fileSize || geometry.sectorsPerTrack <= 0 ||
        geometry.bytesPerSector <= 0) {
        return result;
    }
    const ByteView disk =
        D88ImageFormat::diskBytesOf(originalD88.subspan(static_cast<std::size_t>(diskOffset)));
    const std::int64_t flatSize = static_cast<std::int64_t>(flatData.size());
    D88ImageFormat::forEachSectorRecord(
        disk, geometry.sectorsPerTrack,
        [&](std::int64_t index, std::int64_t pos, std::int64_t size) {
            const std::int64_t src = index * geometry.bytesPerSector;
            const std::int64_t length = std::min(size, geometry.bytesPerSector);
            if (src >= 0 && rangeFits(src, length, flatSize)) {
                std::copy_n(flatData.begin() + src, length, result.begin() + diskOffset + pos);
            }
        });
    return result;
}

} // namespace tamberlane

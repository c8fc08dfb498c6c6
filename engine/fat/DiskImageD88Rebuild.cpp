#include "engine/fat/DiskImage.h"
#include "engine/image/formats/D88Format.h"

#include <algorithm>
#include <vector>

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
    struct Record {
        std::int64_t index, pos, size;
    };
    std::vector<Record> records;
    D88ImageFormat::forEachSectorRecord(
        disk, geometry.sectorsPerTrack,
        [&](std::int64_t index, std::int64_t pos, std::int64_t size) {
            records.push_back({index, pos, size});
        });
    // Several records can claim one flat sector (repeated or out-of-range R, as on
    // protected disks); extraction shows the last one. Writing the sector into every
    // claimant would overwrite the hidden records with it on each save, so each flat
    // byte goes back only to the record it was read from: walk backwards and skip the
    // bytes a later record already took.
    std::vector<std::int64_t> claimed(
        static_cast<std::size_t>((flatSize + geometry.bytesPerSector - 1) /
                                 geometry.bytesPerSector),
        0);
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const std::int64_t src = it->index * geometry.bytesPerSector;
        const std::int64_t length = std::min(it->size, geometry.bytesPerSector);
        if (src < 0 || !rangeFits(src, length, flatSize)) {
            continue;
        }
        std::int64_t& taken = claimed[static_cast<std::size_t>(it->index)];
        if (length > taken) {
            std::copy_n(flatData.begin() + src + taken, length - taken,
                        result.begin() + diskOffset + it->pos + taken);
            taken = length;
        }
    }
    return result;
}

} // namespace tamberlane

#include "engine/image/BootSectorSearch.h"

#include "engine/base/SectorSizes.h"

#include <algorithm>

namespace tamberlane::BootSectorSearch {

bool isValidBPB(ByteView sector) {
    if (sector.size() < 24) {
        return false;
    }
    const std::uint16_t bytesPerSector = readU16LE(sector, 11);
    const std::uint8_t sectorsPerCluster = sector[13];
    const std::uint8_t fats = sector[16];
    const bool sectorSizeOk = isValidSectorSize(bytesPerSector);
    const bool clusterOk =
        sectorsPerCluster != 0 && (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
    return sectorSizeOk && clusterOk && (fats == 1 || fats == 2);
}

std::optional<std::int64_t> findBPBInImage(const ImageFileReader& file, std::int64_t dataOffset,
                                           std::int64_t sectorSize, std::int64_t maxSectors,
                                           bool requireJumpInstruction) {
    const std::int64_t size = file.size();
    if (sectorSize <= 0 || dataOffset < 0 || dataOffset > size) {
        return std::nullopt;
    }
    const std::int64_t n = std::min((size - dataOffset) / sectorSize, maxSectors);
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t o = dataOffset + i * sectorSize;
        const Bytes sector = file.read(o, sectorSize);
        if (requireJumpInstruction && sector[0] != 0xEB && sector[0] != 0xE9) {
            continue;
        }
        if (isValidBPB(sector)) {
            return o;
        }
    }
    return std::nullopt;
}

} // namespace tamberlane::BootSectorSearch

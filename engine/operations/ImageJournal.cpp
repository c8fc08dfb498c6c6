#include "engine/operations/ImageJournal.h"

#include <algorithm>

namespace tamberlane {

void ImageJournal::rollbackTo(const Mark& mark) noexcept {
    image_.data = mark.data;
    image_.fatTable = mark.fatTable;
}

void ImageJournal::writeFAT() {
    const Bytes bytes = image_.fatTable.serialize();
    const std::size_t sectorSize = image_.bpb.bytesPerSector;
    if (sectorSize == 0) {
        return;
    }
    const BIOSParameterBlock& bpb = image_.bpb;
    for (std::int64_t copy = 0; copy < bpb.numberOfFATs; ++copy) {
        for (std::int64_t k = 0; k < bpb.sectorsPerFAT; ++k) {
            const std::size_t offset = static_cast<std::size_t>(k) * sectorSize;
            if (offset >= bytes.size()) {
                break;
            }
            const std::size_t length = std::min(sectorSize, bytes.size() - offset);
            writeSector(bpb.reservedSectors + copy * bpb.sectorsPerFAT + k,
                        ByteView(bytes).subspan(offset, length));
        }
    }
}

} // namespace tamberlane

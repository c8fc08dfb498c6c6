#include "engine/operations/ImageJournal.h"

#include <algorithm>

namespace tamberlane {

void ImageJournal::rollbackTo(const Mark& mark) noexcept {
    while (records_.size() > mark.recordCount) {
        const Record& record = records_.back();
        std::copy(record.oldBytes.begin(), record.oldBytes.end(),
                  image_.data.begin() + static_cast<std::ptrdiff_t>(record.offset));
        records_.pop_back();
    }
    image_.fatTable = mark.fatTable;
}

void ImageJournal::writeSector(std::int64_t lba, ByteView sectorData) {
    image_.checkWritable();
    const std::int64_t size = image_.bpb.bytesPerSector;
    const std::int64_t start = image_.dataOffset + lba * size;
    if (rangeFits(start, size, static_cast<std::int64_t>(image_.data.size()))) {
        const auto first = image_.data.begin() + static_cast<std::ptrdiff_t>(start);
        records_.push_back({start, Bytes(first, first + static_cast<std::ptrdiff_t>(size))});
    }
    image_.writeSector(lba, sectorData);
}

void ImageJournal::writeCluster(std::uint16_t cluster, ByteView clusterData) {
    image_.checkWritable();
    const std::int64_t perCluster = image_.bpb.sectorsPerCluster;
    if (perCluster == 0) {
        return;
    }
    const std::int64_t first =
        image_.firstDataSector() + (static_cast<std::int64_t>(cluster) - 2) * perCluster;
    const std::size_t sectorSize = image_.bpb.bytesPerSector;
    for (std::int64_t i = 0; i < perCluster; ++i) {
        const std::size_t from = static_cast<std::size_t>(i) * sectorSize;
        ByteView chunk;
        if (from < clusterData.size()) {
            chunk = clusterData.subspan(from, std::min(sectorSize, clusterData.size() - from));
        }
        writeSector(first + i, chunk);
    }
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

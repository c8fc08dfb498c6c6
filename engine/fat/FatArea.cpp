#include "engine/fat/FatArea.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/fat/FATParser.h"

#include <algorithm>

namespace tamberlane {

namespace {

constexpr Text fatBeyondFile = N_("FATテーブル領域がファイルサイズを超えています");

} // namespace

FatArea::FatArea(const BIOSParameterBlock& bpb)
    : firstSector_(bpb.reservedSectors), sectorsPerCopy_(bpb.sectorsPerFAT),
      copies_(bpb.numberOfFATs), bytesPerSector_(bpb.bytesPerSector),
      entryCount_(calculateTotalClusters(bpb) + 2) {}

std::int64_t FatArea::copyOffset(std::int64_t copy) const {
    return (firstSector_ + copy * sectorsPerCopy_) * bytesPerSector_;
}

bool FatArea::contains(std::int64_t lba) const {
    return lba >= firstSector_ && lba < endSector();
}

FATTable FatArea::decode(const PagedBytes& data, std::int64_t volumeStart, FATType fatType) const {
    const std::int64_t start = volumeStart + copyOffset(0);
    const std::int64_t length = bytesPerCopy();
    if (!rangeFits(start, length, static_cast<std::int64_t>(data.size()))) {
        throw DiskImageError::fatCorruption(fatBeyondFile);
    }
    const Bytes bytes =
        data.slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    return FATTable(FATParser::decodeFAT(bytes, entryCount_, fatType), fatType);
}

bool FatArea::copiesAgree(const PagedBytes& data, std::int64_t volumeStart) const {
    const std::int64_t length = bytesPerCopy();
    const auto size = static_cast<std::int64_t>(data.size());
    for (std::int64_t i = 0; i < copies_; ++i) {
        if (!rangeFits(volumeStart + copyOffset(i), length, size)) {
            return false;
        }
    }
    // Compared in pieces: a FAT16 copy may be 128 KiB, and several may follow.
    constexpr std::int64_t chunk = 64 * 1024;
    Bytes expected(static_cast<std::size_t>(std::min(length, chunk)));
    Bytes copy(expected.size());
    for (std::int64_t at = 0; at < length; at += chunk) {
        const auto n = static_cast<std::size_t>(std::min(chunk, length - at));
        const std::span<std::uint8_t> want(expected.data(), n);
        const std::span<std::uint8_t> got(copy.data(), n);
        data.copyTo(static_cast<std::size_t>(volumeStart + copyOffset(0) + at), want);
        for (std::int64_t i = 1; i < copies_; ++i) {
            data.copyTo(static_cast<std::size_t>(volumeStart + copyOffset(i) + at), got);
            if (!std::equal(want.begin(), want.end(), got.begin())) {
                return false;
            }
        }
    }
    return true;
}

void FatArea::write(
    const FATTable& table,
    const std::function<void(std::int64_t lba, ByteView bytes)>& writeSector) const {
    const Bytes bytes = table.serialize();
    if (bytesPerSector_ <= 0) {
        return;
    }
    const auto sectorSize = static_cast<std::size_t>(bytesPerSector_);
    for (std::int64_t copy = 0; copy < copies_; ++copy) {
        for (std::int64_t k = 0; k < sectorsPerCopy_; ++k) {
            const std::size_t offset = static_cast<std::size_t>(k) * sectorSize;
            if (offset >= bytes.size()) {
                break;
            }
            const std::size_t length = std::min(sectorSize, bytes.size() - offset);
            writeSector(firstSector_ + copy * sectorsPerCopy_ + k,
                        ByteView(bytes).subspan(offset, length));
        }
    }
}

} // namespace tamberlane

#include "engine/fat/DirectoryStorage.h"

#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FATParser.h"

#include <algorithm>

namespace tamberlane {

DirectoryStorage DirectoryStorage::root(const DiskImage& image) {
    DirectoryStorage storage;
    storage.isRoot_ = true;
    storage.slotLimit_ = image.layout().bpb.rootEntryCount;
    const std::int64_t start = image.addressing().rootDirectoryStartSector();
    for (std::int64_t s = 0; s < image.addressing().rootDirectorySectors(); ++s) {
        storage.units_.push_back(start + s);
    }
    return storage;
}

DirectoryStorage DirectoryStorage::ofCluster(const DiskImage& image, std::uint16_t firstCluster) {
    DirectoryStorage storage;
    storage.isRoot_ = false;
    const std::int64_t clusterBytes =
        std::max<std::int64_t>(1, image.addressing().bytesPerCluster());
    const auto maxUnits = static_cast<std::size_t>(
        (static_cast<std::int64_t>(DirectorySlot::maxPerDirectory * DirectorySlot::size) +
         clusterBytes - 1) /
        clusterBytes);
    for (std::uint16_t c : FATParser::getClusterChain(firstCluster, image.fatTable())) {
        if (storage.units_.size() == maxUnits) {
            break;
        }
        storage.units_.push_back(c);
    }
    return storage;
}

Bytes DirectoryStorage::readUnit(const DiskImage& image, std::size_t index) const {
    if (isRoot_) {
        return image.readSector(units_[index]);
    }
    return image.readCluster(static_cast<std::uint16_t>(units_[index]));
}

Bytes DirectoryStorage::readAll(const DiskImage& image) const {
    Bytes out;
    for (std::size_t i = 0; i < units_.size(); ++i) {
        const Bytes unit = readUnit(image, i);
        out.insert(out.end(), unit.begin(), unit.end());
    }
    if (out.size() / DirectorySlot::size > slotLimit_) {
        out.resize(slotLimit_ * DirectorySlot::size);
    }
    return out;
}

std::size_t DirectoryStorage::unitSize(const DiskImage& image) const {
    return static_cast<std::size_t>(isRoot_ ? image.layout().bpb.bytesPerSector
                                            : image.addressing().bytesPerCluster());
}

SlotIndex DirectoryStorage::locationOf(const DiskImage& image, std::size_t byteOffset) const {
    const std::size_t size = unitSize(image);
    return SlotIndex{byteOffset / size, byteOffset % size};
}

std::size_t DirectoryStorage::byteOffsetOf(const DiskImage& image, SlotIndex at) const {
    return at.unitIndex * unitSize(image) + at.offset;
}

void DirectoryStorage::writeUnit(DiskImage& image, std::size_t index, ByteView bytes) const {
    if (isRoot_) {
        image.writeSector(units_[index], bytes);
    } else {
        image.writeCluster(static_cast<std::uint16_t>(units_[index]), bytes);
    }
}

bool DirectoryStorage::unitIsStorable(const DiskImage& image, std::size_t index) const {
    if (!isRoot_) {
        return image.clusterIsStorable(static_cast<std::uint16_t>(units_[index]));
    }
    return image.sectorIsStorable(units_[index]);
}

} // namespace tamberlane

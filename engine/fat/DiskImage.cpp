#include "engine/fat/DiskImage.h"

#include "engine/base/DiskImageError.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tamberlane {

namespace {

// Offsets 11 to 35 of the boot sector: everything from bytes per sector up to the 32-bit
// sector count, i.e. every field the layout of the volume is computed from. The jump, the
// OEM name and the boot code may change freely.
constexpr std::size_t bootParametersBegin = 11;
constexpr std::size_t bootParametersEnd = 36;

Bytes bootParameters(const Bytes& bootSector) {
    if (bootSector.size() < bootParametersEnd) {
        return {};
    }
    return Bytes(bootSector.begin() + bootParametersBegin, bootSector.begin() + bootParametersEnd);
}

} // namespace

std::shared_ptr<DiskImage> DiskImage::create(ImageLayout layout, PagedBytes data) {
    return std::shared_ptr<DiskImage>(new DiskImage(std::move(layout), std::move(data)));
}

DiskImage::DiskImage(ImageLayout layout, PagedBytes data)
    : layout_(std::move(layout)),
      addressing_(layout_.bpb, layout_.dataOffset,
                  static_cast<std::int64_t>(layout_.fatTable.entries().size())),
      data_(std::move(data)), file_(layout_.url) {
    writableEnd_ = static_cast<std::int64_t>(data_.size());
    if (const auto& p = layout_.partition) {
        writableStart_ = p->offset;
        writableEnd_ = std::min(p->offset + p->size, writableEnd_);
    }
    limitAllocation();
    openedBootParameters_ = bootParameters(readSector(0));
    changeRefusal_ = unsafeToChange();
}

void DiskImage::restore(PagedBytes data) {
    data_ = std::move(data);
    reassessVolume();
}

void DiskImage::restore(PagedBytes data, std::optional<PagedBytes> originalFileData) {
    data_ = std::move(data);
    layout_.originalFileData = std::move(originalFileData);
    reassessVolume();
}

bool DiskImage::writable(std::int64_t start, std::int64_t length) const {
    return start >= writableStart_ && rangeFits(start, length, writableEnd_);
}

void DiskImage::limitAllocation() {
    // Clusters the image cannot keep are never handed out: those past the end of a
    // truncated image or of its partition, and those with a sector no record holds.
    const std::int64_t entryCount = static_cast<std::int64_t>(layout_.fatTable.entries().size());
    std::int64_t limit = 2;
    std::vector<bool> blocked;
    for (; limit < entryCount; ++limit) {
        const auto cluster = static_cast<std::uint16_t>(limit);
        if (!writable(addressing_.clusterOffset(cluster), addressing_.bytesPerCluster())) {
            break;
        }
        if (!clusterIsStorable(cluster)) {
            blocked.resize(static_cast<std::size_t>(entryCount), false);
            blocked[static_cast<std::size_t>(limit)] = true;
        }
    }
    layout_.fatTable.setAllocationLimit(limit);
    layout_.fatTable.setBlockedClusters(std::move(blocked));
}

bool DiskImage::rangeIsStored(std::int64_t start, std::int64_t length) const {
    if (!rangeFits(start, length, static_cast<std::int64_t>(data_.size())) ||
        !writable(start, length)) {
        return false;
    }
    if (!layout_.storedSectors || length == 0) {
        return true;
    }
    const std::int64_t unit = layout_.geometry.bytesPerSector;
    if (unit <= 0) {
        return false;
    }
    const auto& stored = *layout_.storedSectors;
    for (std::int64_t s = start / unit; s <= (start + length - 1) / unit; ++s) {
        if (s >= static_cast<std::int64_t>(stored.size()) || !stored[static_cast<std::size_t>(s)]) {
            return false;
        }
    }
    return true;
}

VolumeCapacity DiskImage::capacity() const {
    VolumeCapacity c;
    c.totalClusters = addressing_.totalClusters();
    // The allocator's own count, so the free space shown is what an import can fill.
    c.freeClusters = layout_.fatTable.freeClusterCount();
    c.usedClusters = c.totalClusters - c.freeClusters;
    const std::int64_t clusterBytes = addressing_.bytesPerCluster();
    c.usedBytes = c.usedClusters * clusterBytes;
    c.freeBytes = c.freeClusters * clusterBytes;
    c.totalBytes = c.totalClusters * clusterBytes;
    return c;
}

bool DiskImage::clusterIsStorable(std::uint16_t cluster) const {
    return cluster >= 2 &&
           rangeIsStored(addressing_.clusterOffset(cluster), addressing_.bytesPerCluster());
}

bool DiskImage::sectorIsStorable(std::int64_t lba) const {
    return rangeIsStored(addressing_.sectorStart(lba), layout_.bpb.bytesPerSector);
}

Bytes DiskImage::readSector(std::int64_t lba) const {
    const std::int64_t size = layout_.bpb.bytesPerSector;
    const std::int64_t start = addressing_.sectorStart(lba);
    if (!rangeFits(start, size, static_cast<std::int64_t>(data_.size()))) {
        return Bytes(static_cast<std::size_t>(size), 0);
    }
    return data_.slice(static_cast<std::size_t>(start), static_cast<std::size_t>(size));
}

Bytes DiskImage::readCluster(std::uint16_t cluster, bool keep) const {
    const std::int64_t sectorSize = layout_.bpb.bytesPerSector;
    const std::int64_t start = addressing_.sectorStart(addressing_.firstSectorOfCluster(cluster));
    Bytes out(static_cast<std::size_t>(addressing_.bytesPerCluster()), 0);
    // The whole sectors inside the data, as readSector reads each.
    const std::int64_t inData = std::clamp<std::int64_t>(
        (static_cast<std::int64_t>(data_.size()) - start) / sectorSize * sectorSize, 0,
        static_cast<std::int64_t>(out.size()));
    if (start < 0 || inData == 0) {
        return out;
    }
    const auto into = std::span<std::uint8_t>(out).first(static_cast<std::size_t>(inData));
    if (keep) {
        data_.copyTo(static_cast<std::size_t>(start), into);
    } else {
        data_.readThrough(static_cast<std::size_t>(start), into);
    }
    return out;
}

std::optional<DiskImageError> DiskImage::fileRefusal() const {
    if (layout_.isWriteProtected || layout_.isReadOnly) {
        return DiskImageError::writeProtected();
    }
    return file_.refusal();
}

std::optional<DiskImageError> DiskImage::whyNotWritable() const {
    return whyNot(changeRefusal_);
}

std::optional<DiskImageError> DiskImage::whyNot(const std::optional<DiskImageError>& volume) const {
    if (std::optional<DiskImageError> file = fileRefusal()) {
        return file;
    }
    if (volume) {
        return volume;
    }
    if (awaitsSearchConfirmation()) {
        return DiskImageError::searchedVolumeUnconfirmed(*layout_.searchedBootOffset);
    }
    return std::nullopt;
}

void DiskImage::checkWritable() const {
    if (const std::optional<DiskImageError> refusal = whyNotWritable()) {
        throw *refusal;
    }
}

void DiskImage::checkFileWritable() const {
    if (std::optional<DiskImageError> refusal = fileRefusal()) {
        throw *refusal;
    }
}

std::optional<DiskImageError> DiskImage::unsafeToChange(bool copiesMayDiffer) const {
    // Every area below was placed by the parameters read at the open.
    if (bootParameters(readSector(0)) != openedBootParameters_) {
        return DiskImageError::bootParametersChanged();
    }
    // Every change writes the FAT copies or the root directory, and the boot sector must
    // survive it: with no reserved sector the first FAT copy lies over the boot sector,
    // and an area outside the image (or its partition) would be dropped by the write.
    const std::int64_t sectorSize = layout_.bpb.bytesPerSector;
    const std::int64_t metadataSectors = addressing_.firstDataSector();
    const std::int64_t start = addressing_.sectorStart(0);
    if (layout_.bpb.reservedSectors == 0 || sectorSize <= 0 || layout_.bpb.numberOfFATs == 0 ||
        metadataSectors > layout_.bpb.volumeSectorCount() ||
        metadataSectors > std::numeric_limits<std::int64_t>::max() / sectorSize ||
        !rangeFits(start, metadataSectors * sectorSize, static_cast<std::int64_t>(data_.size())) ||
        !writable(start, metadataSectors * sectorSize)) {
        return DiskImageError::unsafeVolumeLayout();
    }
    if (layout_.storedSectors) {
        for (std::int64_t lba = 0; lba < metadataSectors; ++lba) {
            if (!sectorIsStorable(lba)) {
                return DiskImageError::metadataNotStorable();
            }
        }
    }
    // Only the first copy is read; writing it back over a second copy that differs
    // would replace what may be the intact one.
    if (!copiesMayDiffer && !addressing_.fatArea().copiesAgree(data_, addressing_.sectorStart(0))) {
        return DiskImageError::fatCopiesDiffer();
    }
    return std::nullopt;
}

std::optional<DiskImageError> DiskImage::whyNotRepairable() const {
    // The repair mends copies that differ before anything else: only the other refusals
    // stand in its way.
    return whyNot(changeRefusal_ ? unsafeToChange(true) : std::nullopt);
}

void DiskImage::adoptFatCopy(std::int64_t copy) {
    if (std::optional<DiskImageError> refusal = whyNotRepairable()) {
        throw *refusal;
    }
    // Past this point every copy lies inside the data, where writes may land.
    const FatArea area = addressing_.fatArea();
    if (copy < 0 || copy >= area.copies()) {
        return;
    }
    const std::int64_t start = addressing_.sectorStart(0);
    Bytes bytes(static_cast<std::size_t>(area.bytesPerCopy()));
    data_.copyTo(static_cast<std::size_t>(start + area.copyOffset(copy)), bytes);
    for (std::int64_t i = 0; i < area.copies(); ++i) {
        if (i != copy) {
            data_.write(static_cast<std::size_t>(start + area.copyOffset(i)), bytes);
        }
    }
    layout_.fatTable.replaceEntries(area.decode(data_, start, layout_.fatType).entries());
    reassessVolume();
}

void DiskImage::writeSector(std::int64_t lba, ByteView sectorData) {
    checkWritable();
    const std::int64_t size = layout_.bpb.bytesPerSector;
    const std::int64_t start = addressing_.sectorStart(lba);
    if (!rangeFits(start, size, static_cast<std::int64_t>(data_.size())) ||
        !writable(start, size)) {
        return;
    }
    const std::size_t copied =
        std::min<std::size_t>(sectorData.size(), static_cast<std::size_t>(size));
    data_.write(static_cast<std::size_t>(start), sectorData.first(copied));
    data_.fill(static_cast<std::size_t>(start) + copied, static_cast<std::size_t>(size) - copied,
               0);
}

void DiskImage::writeCluster(std::uint16_t cluster, ByteView clusterData) {
    writeClusters(cluster, 1, clusterData);
}

void DiskImage::writeClusters(std::uint16_t firstCluster, std::int64_t count, ByteView bytes) {
    checkWritable();
    const std::int64_t start = addressing_.clusterOffset(firstCluster);
    const std::int64_t length = count * addressing_.bytesPerCluster();
    if (count <= 0 || length <= 0) {
        return;
    }
    // A run that lies wholly inside what may be written goes in one piece, so the pages it
    // covers whole are replaced rather than copied first.
    if (firstCluster >= 2 && static_cast<std::int64_t>(firstCluster) + count <= 0x10000 &&
        rangeFits(start, length, static_cast<std::int64_t>(data_.size())) &&
        writable(start, length)) {
        const std::size_t copied =
            std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(length));
        data_.write(static_cast<std::size_t>(start), bytes.first(copied));
        data_.fill(static_cast<std::size_t>(start) + copied,
                   static_cast<std::size_t>(length) - copied, 0);
        return;
    }
    for (std::int64_t i = 0; i < count; ++i) {
        const std::size_t from = static_cast<std::size_t>(i * addressing_.bytesPerCluster());
        const ByteView part =
            from < bytes.size()
                ? bytes.subspan(from, std::min<std::size_t>(
                                          static_cast<std::size_t>(addressing_.bytesPerCluster()),
                                          bytes.size() - from))
                : ByteView();
        writeClusterBySector(static_cast<std::uint16_t>(firstCluster + i), part);
    }
}

void DiskImage::writeClusterBySector(std::uint16_t cluster, ByteView clusterData) {
    if (layout_.bpb.sectorsPerCluster == 0) {
        return;
    }
    const std::int64_t first = addressing_.firstSectorOfCluster(cluster);
    const std::size_t sectorSize = layout_.bpb.bytesPerSector;
    for (std::size_t i = 0; i < layout_.bpb.sectorsPerCluster; ++i) {
        const std::size_t from = i * sectorSize;
        ByteView chunk;
        if (from < clusterData.size()) {
            chunk = clusterData.subspan(from, std::min(sectorSize, clusterData.size() - from));
        }
        writeSector(first + static_cast<std::int64_t>(i), chunk);
    }
}

PagedBytes DiskImage::containerBytes() const {
    return layout_.format->containerBytes(
        data_, layout_.originalFileData ? &*layout_.originalFileData : nullptr, layout_.geometry,
        layout_.d88DiskOffset);
}

void DiskImage::saveToFile() {
    // Every change has asked checkWritable before it moved a byte; the volume may be
    // refused by now because of what it wrote (a raw edit), and that edit must still reach
    // the file.
    checkFileWritable();
    file_.save(containerBytes());
}

} // namespace tamberlane

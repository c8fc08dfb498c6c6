#include "engine/image/formats/PlainImageFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/image/BootSectorSearch.h"
#include "engine/image/MediaByteFormats.h"
#include "engine/image/PartitionTable.h"

#include <algorithm>

namespace tamberlane {

namespace {

bool isKnownSize(std::int64_t size) {
    const auto& known = PlainImageFormat::knownSizes();
    return std::any_of(known.begin(), known.end(),
                       [&](const PlainImageFormat::KnownSize& k) { return k.size == size; });
}

// The boot sector at `offset`, cut where the file ends.
Bytes bootSectorAt(const ImageFileReader& file, std::int64_t offset) {
    return file.readUpTo(offset, 512);
}

std::optional<BIOSParameterBlock> parsedBPBAt(const ImageFileReader& file, std::int64_t offset) {
    const Bytes sector = bootSectorAt(file, offset);
    if (!BootSectorSearch::isValidBPB(sector)) {
        return std::nullopt;
    }
    try {
        return parseBPB(sector);
    } catch (const DiskImageError&) {
        return std::nullopt;
    }
}

// Sectors per track and heads as the BPB states them (offsets 24 and 26); where those
// are not usable, a layout that at least multiplies out to the volume.
DiskGeometry geometryOf(ByteView bootSector, const BIOSParameterBlock& bpb) {
    const std::int64_t sectors = bpb.volumeSectorCount();
    std::int64_t perTrack = readU16LE(bootSector, 24);
    std::int64_t heads = readU16LE(bootSector, 26);
    if (perTrack < 1 || perTrack > 255 || heads < 1 || heads > 256) {
        heads = sectors % 2 == 0 ? 2 : 1;
        perTrack = 1;
        for (std::int64_t candidate = 63; candidate > 1; --candidate) {
            if (sectors % (heads * candidate) == 0) {
                perTrack = candidate;
                break;
            }
        }
    }
    const std::int64_t perCylinder = perTrack * heads;
    return {heads, (sectors + perCylinder - 1) / perCylinder, perTrack, bpb.bytesPerSector};
}

// A valid boot sector at the start or where the boot-sector search finds one, whose
// volume lies inside the file.
std::optional<HeaderlessLayout> describedVolume(const ImageFileReader& file,
                                                std::optional<std::int64_t> offset) {
    const bool searched = !offset;
    for (const std::int64_t stride : {512, 256}) {
        if (!offset) {
            offset = BootSectorSearch::findBPBInImage(file, 0, stride, 300, true);
        }
    }
    const auto bpb = offset ? parsedBPBAt(file, *offset) : std::nullopt;
    if (!bpb || !rangeFits(*offset, bpb->volumeBytes(), file.size())) {
        return std::nullopt;
    }
    return HeaderlessLayout{geometryOf(bootSectorAt(file, *offset), *bpb), *offset, std::nullopt,
                            searched && *offset != 0};
}

// A hard disk whose volumes lie in partitions; which one opens is the open's choice. The
// geometry is the one a PC-98 table was placed by (a conversion writes it into a header,
// where it places the partitions again), else the first volume's, stretched over the file.
std::optional<HeaderlessLayout> partitionedDisk(const ImageFileReader& file) {
    const PartitionTable::Layout table = PartitionTable::readLayout(file, 0, std::nullopt);
    const std::vector<PartitionInfo>& partitions = table.partitions;
    if (partitions.empty()) {
        return std::nullopt;
    }
    const std::int64_t first = partitions.front().offset;
    const auto bpb = parsedBPBAt(file, first);
    DiskGeometry geometry = table.placedBy ? *table.placedBy
                            : bpb          ? geometryOf(bootSectorAt(file, first), *bpb)
                                           : DiskGeometry{16, 0, 63, 512};
    geometry.bytesPerSector = 512;
    const std::int64_t perCylinder = geometry.heads * geometry.sectorsPerTrack * 512;
    geometry.cylinders = (file.size() + perCylinder - 1) / perCylinder;
    return HeaderlessLayout{geometry, 0, std::nullopt, false};
}

std::optional<HeaderlessLayout> inferredFloppy(const ImageFileReader& file) {
    if (const auto floppy = MediaByteFormats::inferFloppy(file)) {
        return HeaderlessLayout{floppy->geometry, 0, floppy->bpb, false};
    }
    return std::nullopt;
}

} // namespace

const std::vector<PlainImageFormat::KnownSize>& PlainImageFormat::knownSizes() {
    static const std::vector<KnownSize> sizes = {
        {1261568, {2, 77, 8, 1024}},
        {1474560, {2, 80, 18, 512}},
        {655360, {2, 80, 8, 512}},
        // Hard-disk volumes of the new-image sizes, so a new or converted BIN opens again.
        {5326848, {4, 153, 17, 512}},
        {10653696, {4, 306, 17, 512}},
        {21307392, {8, 306, 17, 512}},
    };
    return sizes;
}

bool PlainImageFormat::startsWithBootSector(const ImageFileReader& file) {
    return parsedBPBAt(file, 0).has_value();
}

std::shared_ptr<const PlainImageFormat> PlainImageFormat::read(const ImageFileReader& file,
                                                               std::string extension) {
    const std::int64_t size = file.size();
    // A listed size keeps its fixed geometry; only a floppy without BPB needs more.
    std::optional<HeaderlessLayout> layout;
    if (!isKnownSize(size)) {
        // A boot sector at the start is a plain volume; otherwise a partition table comes
        // before the search, which would take the first partition for the whole disk.
        if (parsedBPBAt(file, 0)) {
            layout = describedVolume(file, 0);
        } else if (!(layout = partitionedDisk(file))) {
            layout = describedVolume(file, std::nullopt);
        }
    }
    if (!layout) {
        layout = inferredFloppy(file);
    }
    return std::make_shared<PlainImageFormat>(size, std::move(extension), std::move(layout));
}

DiskGeometry PlainImageFormat::parseGeometry(const ImageFileReader&) const {
    std::vector<std::int64_t> expected;
    for (const KnownSize& known : knownSizes()) {
        if (known.size == fileSize) {
            return known.geometry;
        }
        expected.push_back(known.size);
    }
    if (layout_) {
        return layout_->geometry;
    }
    throw DiskImageError::invalidFileSize(expected, fileSize);
}

} // namespace tamberlane

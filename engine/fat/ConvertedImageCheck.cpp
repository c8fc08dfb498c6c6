#include "engine/fat/ConvertedImageCheck.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/HexText.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskImageService.h"
#include "engine/image/DiskImageParser.h"
#include "engine/image/NewImage.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

namespace {

// What an open finds of one volume and a change would write through.
struct VolumeAreas {
    Bytes bootSector;
    std::vector<Bytes> fats;
};

// A volume that opens, or why it does not.
struct VolumeReading {
    std::optional<VolumeAreas> areas;
    std::string failure;
};

struct DiskReading {
    // Offsets from the disk's first byte, not from the file's: the containers' headers
    // differ in length.
    std::vector<PartitionInfo> partitions;
    std::vector<VolumeReading> volumes;
};

Bytes sliceWithin(const PagedBytes& data, std::int64_t start, std::int64_t length) {
    const auto size = static_cast<std::int64_t>(data.size());
    start = std::clamp<std::int64_t>(start, 0, size);
    length = std::clamp<std::int64_t>(length, 0, size - start);
    return data.slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

VolumeAreas areasOf(const DiskImage& image) {
    const FatArea fat = image.addressing().fatArea();
    VolumeAreas areas{
        sliceWithin(image.data(), image.layout().dataOffset, image.layout().bpb.bytesPerSector),
        {}};
    for (std::int64_t copy = 0; copy < fat.copies(); ++copy) {
        areas.fats.push_back(sliceWithin(
            image.data(), image.layout().dataOffset + fat.copyOffset(copy), fat.bytesPerCopy()));
    }
    return areas;
}

VolumeReading readVolume(const std::filesystem::path& name, const PagedBytes& file,
                         VolumeChoice volume) {
    try {
        return {areasOf(*DiskImageService::parseImage(name, file, true, volume)), {}};
    } catch (const DiskImageError& e) {
        return {std::nullopt, e.errorDescription()};
    }
}

// Every volume of a file as an open of each partition finds it.
DiskReading readDisk(const std::filesystem::path& name, const PagedBytes& file) {
    Bytes copy;
    const ByteView view = file.viewUsing(copy);
    DiskReading disk;
    disk.partitions = DiskImageService::partitionsIn(name, view);
    const ImageFileReader reader(view);
    const std::int64_t diskStart = DiskImageParser::detectFormat(name, reader)->dataOffset(reader);
    for (PartitionInfo& partition : disk.partitions) {
        partition.offset -= diskStart;
    }
    if (disk.partitions.empty()) {
        disk.volumes.push_back(readVolume(name, file, {}));
    }
    for (std::size_t i = 0; i < disk.partitions.size(); ++i) {
        disk.volumes.push_back(
            readVolume(name, file, VolumeChoice::ofPartition(static_cast<int>(i))));
    }
    return disk;
}

// The open image's own volume where it has no partitions: it may have been opened with
// parameters the user gave, which its file alone does not repeat.
DiskReading readSource(const DiskImage& image) {
    if (!image.layout().partition) {
        return {{}, {{areasOf(image), {}}}};
    }
    // One contiguous copy, so that each partition's open does not make its own.
    const PagedBytes file =
        image.data().contiguousView() ? image.data() : PagedBytes(image.data().toBytes());
    return readDisk(image.layout().url, file);
}

std::string bytesText(std::int64_t value) {
    return std::to_string(value) + " バイト";
}

std::string partitionName(const PartitionInfo& partition) {
    return "パーティション " + std::to_string(partition.number);
}

std::string sourceAndResult(const std::string& source, const std::string& result) {
    return "（元: " + source + "、変換後: " + result + "）";
}

void comparePartitions(const std::vector<PartitionInfo>& source,
                       const std::vector<PartitionInfo>& result) {
    if (source.size() != result.size()) {
        throw DiskImageError::conversionMismatch(
            "パーティションの数" +
            sourceAndResult(std::to_string(source.size()), std::to_string(result.size())));
    }
    for (std::size_t i = 0; i < source.size(); ++i) {
        const PartitionInfo& from = source[i];
        const PartitionInfo& to = result[i];
        if (from.scheme != to.scheme || from.systemType != to.systemType) {
            throw DiskImageError::conversionMismatch(
                partitionName(from) + " の種類" +
                sourceAndResult(hexByte(from.systemType), hexByte(to.systemType)));
        }
        if (from.offset != to.offset) {
            throw DiskImageError::conversionMismatch(
                partitionName(from) + " の開始位置" +
                sourceAndResult(bytesText(from.offset), bytesText(to.offset)));
        }
        if (from.size != to.size) {
            throw DiskImageError::conversionMismatch(
                partitionName(from) + " の大きさ" +
                sourceAndResult(bytesText(from.size), bytesText(to.size)));
        }
    }
}

void compareVolume(const std::string& volumeName, const VolumeReading& source,
                   const VolumeReading& result) {
    if (!source.areas) {
        return;
    }
    const std::string prefix = volumeName.empty() ? "" : volumeName + " の";
    if (!result.areas) {
        throw DiskImageError::conversionMismatch(
            (volumeName.empty() ? std::string("ボリューム") : volumeName + " ") + "を開けません（" +
            result.failure + "）");
    }
    if (result.areas->bootSector != source.areas->bootSector) {
        throw DiskImageError::conversionMismatch(prefix + "ブートセクタ");
    }
    for (std::size_t copy = 0; copy < source.areas->fats.size(); ++copy) {
        if (copy >= result.areas->fats.size() ||
            result.areas->fats[copy] != source.areas->fats[copy]) {
            throw DiskImageError::conversionMismatch(prefix + "FAT " + std::to_string(copy + 1));
        }
    }
}

DiskReading readResult(ConvertFormat format, ByteView converted) {
    try {
        return readDisk("converted." + fileExtension(format), PagedBytes(converted));
    } catch (const DiskImageError& e) {
        throw DiskImageError::conversionMismatch("ディスクを読み取れません（" +
                                                 e.errorDescription() + "）");
    }
}

} // namespace

void checkConvertedImage(const DiskImage& source, ConvertFormat format, ByteView converted) {
    const DiskReading from = readSource(source);
    const DiskReading to = readResult(format, converted);
    comparePartitions(from.partitions, to.partitions);
    for (std::size_t i = 0; i < from.volumes.size(); ++i) {
        compareVolume(from.partitions.empty() ? "" : partitionName(from.partitions[i]),
                      from.volumes[i], to.volumes[i]);
    }
}

} // namespace tamberlane

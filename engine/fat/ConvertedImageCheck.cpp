#include "engine/fat/ConvertedImageCheck.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/HexText.h"
#include "engine/base/Translation.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskImageService.h"
#include "engine/image/BootSectorSearch.h"
#include "engine/image/DiskImageParser.h"
#include "engine/image/NewImage.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tamberlane {

namespace {

// What an open finds of one volume and a change would write through: its boot sector and
// each FAT copy, with the copy's offset from the boot sector.
struct VolumeAreas {
    Bytes bootSector;
    std::vector<std::pair<std::int64_t, Bytes>> fats;
};

// A volume that opens, or why it does not.
struct VolumeReading {
    // Where its boot sector lies from the disk's first byte, not the file's: the
    // containers' headers differ in length.
    std::int64_t position = 0;
    std::optional<VolumeAreas> areas;
    std::string failure;
};

struct DiskReading {
    // Offsets from the disk's first byte.
    std::vector<PartitionInfo> partitions;
    std::vector<VolumeReading> volumes;
};

Bytes sliceWithin(const PagedBytes& data, std::int64_t start, std::int64_t length) {
    const auto size = static_cast<std::int64_t>(data.size());
    start = std::clamp<std::int64_t>(start, 0, size);
    length = std::clamp<std::int64_t>(length, 0, size - start);
    return data.slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

ByteView viewWithin(ByteView data, std::int64_t start, std::int64_t length) {
    const auto size = static_cast<std::int64_t>(data.size());
    start = std::clamp<std::int64_t>(start, 0, size);
    length = std::clamp<std::int64_t>(length, 0, size - start);
    return data.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

VolumeAreas areasOf(const DiskImage& image) {
    const FatArea fat = image.addressing().fatArea();
    VolumeAreas areas{
        sliceWithin(image.data(), image.layout().dataOffset, image.layout().bpb.bytesPerSector),
        {}};
    for (std::int64_t copy = 0; copy < fat.copies(); ++copy) {
        areas.fats.emplace_back(fat.copyOffset(copy),
                                sliceWithin(image.data(),
                                            image.layout().dataOffset + fat.copyOffset(copy),
                                            fat.bytesPerCopy()));
    }
    return areas;
}

VolumeReading readVolume(const std::filesystem::path& name, const PagedBytes& file,
                         VolumeChoice volume, std::int64_t diskStart) {
    try {
        const auto image = DiskImageService::parseImage(name, file, true, volume);
        return {image->layout().dataOffset - diskStart, areasOf(*image), {}};
    } catch (const DiskImageError& e) {
        return {0, std::nullopt, e.errorDescription()};
    }
}

// A file's container, where the disk starts in it, and the partitions on the disk.
struct Container {
    std::shared_ptr<const DiskImageFormat> format;
    std::int64_t diskStart = 0;
    std::vector<PartitionInfo> partitions;
};

Container readContainer(const std::filesystem::path& name, const ImageFileReader& reader) {
    Container container{DiskImageParser::detectFormat(name, reader), 0,
                        DiskImageService::partitionsIn(name, reader)};
    container.diskStart = container.format->dataOffset(reader);
    for (PartitionInfo& partition : container.partitions) {
        partition.offset -= container.diskStart;
    }
    return container;
}

// The open image's volumes as an open of each finds them. Without partitions the image's
// own volume, which may have been opened with parameters the user gave that its file alone
// does not repeat; the converted disk starts at its boot sector.
DiskReading readSource(const DiskImage& image) {
    if (!image.layout().partition) {
        return {{}, {{0, areasOf(image), {}}}};
    }
    // Each partition's open shares the image's pages and reads only its own metadata.
    const PagedBytes& file = image.data();
    const Container container = readContainer(image.layout().url, ImageFileReader(file));
    DiskReading disk{container.partitions, {}};
    for (std::size_t i = 0; i < disk.partitions.size(); ++i) {
        disk.volumes.push_back(readVolume(image.layout().url, file,
                                          VolumeChoice::ofPartition(static_cast<int>(i)),
                                          container.diskStart));
    }
    return disk;
}

// The converted file as an open reads its container: the disk (rebuilt from records where
// the container keeps them) and the partitions on it. Its volumes are read where the
// source's lie, so that a big file is never held whole.
struct ResultDisk {
    std::shared_ptr<const DiskImageFormat> format;
    std::vector<PartitionInfo> partitions;
    std::optional<Bytes> rebuilt;
    ByteView bytes;
};

ResultDisk readResult(ConvertFormat format, ByteView converted) {
    const std::filesystem::path name = "converted." + fileExtension(format);
    try {
        const ImageFileReader reader(converted);
        Container container = readContainer(name, reader);
        ResultDisk disk{
            container.format,
            std::move(container.partitions),
            container.format->extractFlatVolume(reader, container.format->parseGeometry(reader)),
            {}};
        disk.bytes = disk.rebuilt ? ByteView(*disk.rebuilt)
                                  : viewWithin(converted, container.diskStart,
                                               static_cast<std::int64_t>(converted.size()));
        return disk;
    } catch (const DiskImageError& e) {
        throw DiskImageError::conversionMismatch(
            translate("ディスクを読み取れません（%1$s）", {e.errorDescription()}));
    }
}

void comparePartitions(const std::vector<PartitionInfo>& source,
                       const std::vector<PartitionInfo>& result) {
    if (source.size() != result.size()) {
        throw DiskImageError::conversionMismatch(translate(
            "パーティションの数（元: %1$s、変換後: %2$s）", {source.size(), result.size()}));
    }
    for (std::size_t i = 0; i < source.size(); ++i) {
        const PartitionInfo& from = source[i];
        const PartitionInfo& to = result[i];
        if (from.scheme != to.scheme || from.systemType != to.systemType) {
            throw DiskImageError::conversionMismatch(
                translate("パーティション %1$s の種類（元: %2$s、変換後: %3$s）",
                          {from.number, hexByte(from.systemType), hexByte(to.systemType)}));
        }
        if (from.offset != to.offset) {
            throw DiskImageError::conversionMismatch(
                translate("パーティション %1$s の開始位置（元: %2$s バイト、変換後: %3$s バイト）",
                          {from.number, from.offset, to.offset}));
        }
        if (from.size != to.size) {
            throw DiskImageError::conversionMismatch(
                translate("パーティション %1$s の大きさ（元: %2$s バイト、変換後: %3$s バイト）",
                          {from.number, from.size, to.size}));
        }
    }
}

// The boot sector an open would read at `position`, parsed as the open parses it: a
// container that works out the parameters itself reads one without them.
void parseAsOpened(const ResultDisk& result, ByteView bootSector) {
    if (!(result.format->inferredParameters() && !BootSectorSearch::isValidBPB(bootSector))) {
        parseBPB(bootSector);
    }
}

// `partition`: the volume's partition number, none for a disk without a table.
void compareVolume(std::optional<int> partition, const VolumeReading& source,
                   const ResultDisk& result) {
    if (!source.areas) {
        return;
    }
    const ByteView bootSector = viewWithin(
        result.bytes, source.position, static_cast<std::int64_t>(source.areas->bootSector.size()));
    try {
        parseAsOpened(result, bootSector);
    } catch (const DiskImageError& e) {
        throw DiskImageError::conversionMismatch(
            partition ? translate("パーティション %1$s を開けません（%2$s）",
                                  {*partition, e.errorDescription()})
                      : translate("ボリュームを開けません（%1$s）", {e.errorDescription()}));
    }
    if (!std::ranges::equal(bootSector, source.areas->bootSector)) {
        throw DiskImageError::conversionMismatch(
            partition ? translate("パーティション %1$s のブートセクタ", {*partition})
                      : std::string(translate("ブートセクタ")));
    }
    for (std::size_t copy = 0; copy < source.areas->fats.size(); ++copy) {
        const auto& [offset, bytes] = source.areas->fats[copy];
        if (!std::ranges::equal(viewWithin(result.bytes, source.position + offset,
                                           static_cast<std::int64_t>(bytes.size())),
                                bytes)) {
            throw DiskImageError::conversionMismatch(
                partition ? translate("パーティション %1$s のFAT %2$s", {*partition, copy + 1})
                          : translate("FAT %1$s", {copy + 1}));
        }
    }
}

// The file behind `fd` as one span the kernel pages in as it is read: the parts the
// check looks at, not the whole disk, are ever resident.
class MappedFile {
  public:
    explicit MappedFile(int fd) {
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        size_ = static_cast<std::size_t>(st.st_size);
        if (size_ == 0) {
            return;
        }
        void* mapped = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        data_ = static_cast<const std::uint8_t*>(mapped);
    }
    ~MappedFile() {
        if (data_ != nullptr) {
            munmap(const_cast<std::uint8_t*>(data_), size_);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ByteView bytes() const { return {data_, data_ == nullptr ? 0 : size_}; }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace

void checkConvertedImage(const DiskImage& source, ConvertFormat format, ByteView converted) {
    const DiskReading from = readSource(source);
    const ResultDisk to = readResult(format, converted);
    comparePartitions(from.partitions, to.partitions);
    for (std::size_t i = 0; i < from.volumes.size(); ++i) {
        compareVolume(from.partitions.empty() ? std::nullopt
                                              : std::optional<int>(from.partitions[i].number),
                      from.volumes[i], to);
    }
}

void checkConvertedFile(const DiskImage& source, ConvertFormat format, int fd) {
    const MappedFile converted(fd);
    checkConvertedImage(source, format, converted.bytes());
}

} // namespace tamberlane

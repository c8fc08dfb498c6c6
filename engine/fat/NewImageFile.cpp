#include "engine/fat/NewImageFile.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/ConvertedImageCheck.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/NewVolume.h"

#include <algorithm>
#include <string>
#include <sys/stat.h>

namespace tamberlane {

Bytes createNewImage(const NewImageParameters& params) {
    if (!isSizeOffered(params.format, params.diskSize)) {
        throw DiskImageError::unsupportedFormat(sizeNotOfferedText(params.format, params.diskSize));
    }
    return writeNewContainer(params.format, buildNewVolume(params.diskSize),
                             sizeSpec(params.diskSize).geometry);
}

Bytes convertImage(const DiskImage& image, ConvertFormat format) {
    const DiskGeometry& geometry = image.layout().geometry;
    if (!isConversionOffered(geometry, format)) {
        throw DiskImageError::unsupportedFormat(conversionNotOfferedText(geometry, format));
    }
    if (image.layout().partition && format == ConvertFormat::bin &&
        geometry.bytesPerSector != 512) {
        throw DiskImageError::sectorSizeNotRecordable(rawValue(format), geometry.bytesPerSector);
    }
    const std::int64_t dataSize = static_cast<std::int64_t>(image.data().size());
    // The geometry is the whole disk's: a partitioned disk is converted from its first
    // sector, with its table and every partition, not from the partition that is open.
    std::int64_t diskStart = image.layout().dataOffset;
    if (image.layout().partition) {
        Bytes copy;
        diskStart =
            image.layout().format->dataOffset(ImageFileReader(image.data().viewUsing(copy)));
    }
    // Manual parameters (or a header) can state a geometry smaller than the volume the
    // boot sector describes; writing only the geometry would cut the files at its end.
    const std::int64_t volumeEnd =
        image.layout().dataOffset - diskStart + image.layout().bpb.volumeBytes();
    if (volumeEnd > geometry.totalBytes()) {
        throw DiskImageError::volumeExceedsGeometry(volumeEnd, geometry.totalBytes());
    }
    const std::int64_t start = std::clamp<std::int64_t>(diskStart, 0, dataSize);
    const std::int64_t length =
        std::min(std::max<std::int64_t>(geometry.totalBytes(), 0), dataSize - start);
    const Bytes volume =
        image.data().slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    Bytes converted = writeConvertedContainer(format, volume, geometry);
    checkConvertedImage(image, format, converted);
    return converted;
}

void writeConvertedImage(const DiskImage& source, const std::filesystem::path& path, ByteView bytes,
                         ExistingTarget existing) {
    struct stat from {};
    struct stat to {};
    const bool sameAsURL = stat(source.layout().url.c_str(), &from) == 0 &&
                           stat(path.c_str(), &to) == 0 && from.st_dev == to.st_dev &&
                           from.st_ino == to.st_ino;
    if (sameAsURL || (source.file().lock() && source.file().lock()->refersTo(path))) {
        throw DiskImageError::sameFileAsSource(path.string());
    }
    writeImageFile(path, bytes, existing);
}

} // namespace tamberlane

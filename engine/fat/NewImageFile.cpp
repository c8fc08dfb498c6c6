#include "engine/fat/NewImageFile.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/NewVolume.h"

#include <algorithm>
#include <string>

namespace tamberlane {

Bytes createNewImage(const NewImageParameters& params) {
    if (!isSizeOffered(params.format, params.diskSize)) {
        throw DiskImageError::unsupportedFormat(sizeNotOfferedText(params.format, params.diskSize));
    }
    return writeNewContainer(params.format, buildNewVolume(params.diskSize),
                             sizeSpec(params.diskSize).geometry);
}

Bytes convertImage(const DiskImage& image, ConvertFormat format) {
    const DiskGeometry& geometry = image.geometry;
    if (!isConversionOffered(geometry, format)) {
        throw DiskImageError::unsupportedFormat(conversionNotOfferedText(geometry, format));
    }
    // Manual parameters can state a geometry smaller than the volume its boot sector
    // describes; writing only the geometry would silently cut the files at its end.
    if (image.bpb.volumeBytes() > geometry.totalBytes()) {
        throw DiskImageError::invalidBPB(
            "ボリューム（" + std::to_string(image.bpb.volumeBytes()) +
            " バイト）が変換先のジオメトリ（" + std::to_string(geometry.totalBytes()) +
            " バイト）に収まりません");
    }
    const std::int64_t dataSize = static_cast<std::int64_t>(image.data.size());
    const std::int64_t start = std::clamp<std::int64_t>(image.dataOffset, 0, dataSize);
    const std::int64_t length =
        std::min(std::max<std::int64_t>(geometry.totalBytes(), 0), dataSize - start);
    const Bytes volume =
        image.data.slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    return writeConvertedContainer(format, volume, geometry);
}

} // namespace tamberlane

#include "engine/fat/NewImageFile.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/NewVolume.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/DCPFormat.h"
#include "engine/image/formats/DIMFormat.h"
#include "engine/image/formats/FDIFormat.h"
#include "engine/image/formats/HDIFormat.h"
#include "engine/image/formats/NFDFormat.h"
#include "engine/image/formats/NHDFormat.h"

#include <algorithm>

namespace tamberlane {

Bytes createNewImage(const NewImageParameters& params) {
    if (!isSizeOffered(params.format, params.diskSize)) {
        throw DiskImageError::unsupportedFormat(sizeNotOfferedText(params.format, params.diskSize));
    }
    const DiskGeometry& geometry = sizeSpec(params.diskSize).geometry;
    Bytes volume = buildNewVolume(params.diskSize);
    switch (params.format) {
    case NewImageFormat::bin:
        return volume;
    case NewImageFormat::fdi:
    case NewImageFormat::hdi: {
        Bytes file = generateFDIHeader(geometry);
        file.insert(file.end(), volume.begin(), volume.end());
        return file;
    }
    case NewImageFormat::d88:
        return D88ImageFormat::buildD88Image(volume, geometry, D88WriteVariant::newImage);
    case NewImageFormat::nfd:
        return buildNFDNewImage(volume, geometry);
    case NewImageFormat::nhd:
        return buildNHDNewImage(volume, geometry);
    case NewImageFormat::dim:
        return buildDIMNewImage(volume, geometry);
    case NewImageFormat::dcp:
        return buildDCPNewImage(volume, geometry);
    }
    return volume;
}

Bytes convertImage(const DiskImage& image, ConvertFormat format) {
    const DiskGeometry& geometry = image.geometry;
    if (!isConversionOffered(geometry, format)) {
        throw DiskImageError::unsupportedFormat(conversionNotOfferedText(geometry, format));
    }
    const std::int64_t dataSize = static_cast<std::int64_t>(image.data.size());
    const std::int64_t start = std::clamp<std::int64_t>(image.dataOffset, 0, dataSize);
    const std::int64_t length =
        std::min(std::max<std::int64_t>(geometry.totalBytes(), 0), dataSize - start);
    const Bytes volume =
        image.data.slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    const ByteView flat = volume;
    switch (format) {
    case ConvertFormat::bin:
        return volume;
    case ConvertFormat::d88:
        return D88ImageFormat::buildD88Image(flat, geometry, D88WriteVariant::conversion);
    case ConvertFormat::fdi:
        return buildFDIImage(flat, geometry);
    case ConvertFormat::hdi:
        return buildHDIImage(flat, geometry);
    case ConvertFormat::nfd:
        return buildNFDImage(flat, geometry);
    case ConvertFormat::nhd:
        return buildNHDImage(flat, geometry);
    case ConvertFormat::dim:
        return buildDIMNewImage(flat, geometry);
    case ConvertFormat::dcp:
        return buildDCPNewImage(flat, geometry);
    }
    return Bytes(flat.begin(), flat.end());
}

} // namespace tamberlane

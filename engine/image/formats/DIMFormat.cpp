#include "engine/image/formats/DIMFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/image/formats/FormatSupport.h"

#include <algorithm>
#include <cstring>

namespace tamberlane {

namespace {

std::optional<DiskGeometry> geometryForMedia(std::uint8_t type) {
    switch (type) {
    case 0x00:
    case 0x01:
        return DiskGeometry{2, 77, 8, 1024};
    case 0x02:
        return DiskGeometry{2, 80, 15, 512};
    case 0x03:
        return DiskGeometry{2, 80, 18, 512};
    default:
        return std::nullopt;
    }
}

std::uint8_t mediaTypeFor(const DiskGeometry& g) {
    if (g.bytesPerSector == 512 && g.sectorsPerTrack == 15) {
        return 0x02;
    }
    if (g.bytesPerSector == 512 && g.sectorsPerTrack == 18) {
        return 0x03;
    }
    return 0x00;
}

} // namespace

DIMImageFormat::DIMImageFormat(const ImageFileReader& file)
    : mediaType(formats::readMediaTypeByte(file, headerSize, "DIM", geometryForMedia)) {}

DiskGeometry DIMImageFormat::parseGeometry(const ImageFileReader&) const {
    if (auto geometry = geometryForMedia(mediaType)) {
        return *geometry;
    }
    throw formats::badMediaType("DIM", mediaType);
}

bool dimReadsBack(const DiskGeometry& geometry) {
    return geometryForMedia(mediaTypeFor(geometry)) == geometry;
}

Bytes buildDIMNewImage(ByteView diskData, const DiskGeometry& g) {
    Bytes header(static_cast<std::size_t>(DIMImageFormat::headerSize), 0);
    header[0] = mediaTypeFor(g);
    const std::int64_t tracks = std::min<std::int64_t>(g.heads * g.cylinders, 160);
    std::fill_n(header.begin() + 1, std::max<std::int64_t>(tracks, 0), 0x01);
    std::memcpy(header.data() + 0xAB, "DIFC HEADER  ", 13);
    return formats::joinHeader(std::move(header), diskData);
}

} // namespace tamberlane

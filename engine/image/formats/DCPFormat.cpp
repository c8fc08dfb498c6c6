#include "engine/image/formats/DCPFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/image/formats/FormatSupport.h"

#include <algorithm>

namespace tamberlane {

namespace {

std::optional<DiskGeometry> geometryForMedia(std::uint8_t type) {
    switch (type) {
    case 0x01:
        return DiskGeometry{2, 77, 8, 1024};
    case 0x02:
        return DiskGeometry{2, 80, 15, 512};
    case 0x03:
        return DiskGeometry{2, 80, 18, 512};
    case 0x04:
        return DiskGeometry{2, 80, 8, 512};
    case 0x05:
        return DiskGeometry{2, 80, 9, 512};
    case 0x08:
        return DiskGeometry{2, 80, 9, 1024};
    default:
        return std::nullopt;
    }
}

std::uint8_t mediaTypeFor(const DiskGeometry& g) {
    if (g.bytesPerSector == 512) {
        switch (g.sectorsPerTrack) {
        case 8:
            return 0x04;
        case 9:
            return 0x05;
        case 15:
            return 0x02;
        case 18:
            return 0x03;
        default:
            break;
        }
    }
    return 0x01;
}

} // namespace

DCPImageFormat::DCPImageFormat(const ImageFileReader& file)
    : mediaType(formats::readMediaTypeByte(file, headerSize, "DCP/DCU", geometryForMedia)) {}

DiskGeometry DCPImageFormat::parseGeometry(const ImageFileReader&) const {
    if (auto geometry = geometryForMedia(mediaType)) {
        return *geometry;
    }
    throw formats::badMediaType("DCP/DCU", mediaType);
}

Bytes buildDCPNewImage(ByteView diskData, const DiskGeometry& g) {
    Bytes header(static_cast<std::size_t>(DCPImageFormat::headerSize), 0);
    header[0] = mediaTypeFor(g);
    const std::int64_t tracks = std::min<std::int64_t>(g.heads * g.cylinders, 160);
    std::fill_n(header.begin() + 1, std::max<std::int64_t>(tracks, 0), 0x01);
    header[0xA1] = 0x01;
    return formats::joinHeader(std::move(header), diskData);
}

} // namespace tamberlane

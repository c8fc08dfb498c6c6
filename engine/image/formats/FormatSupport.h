#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/base/DiskImageError.h"
#include "engine/base/HexText.h"
#include "engine/base/SectorSizes.h"
#include "engine/base/Translation.h"
#include "engine/image/ImageFileReader.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>

// Small helpers the container readers and writers share.
namespace tamberlane::formats {

// The identifier bytes as text; empty when any byte is outside ASCII, so a binary
// identifier never reaches a message as mojibake.
inline std::string asciiText(ByteView bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        if (byte >= 0x80) {
            return {};
        }
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

// Size code N of a sector ID (128 << N); sizes without a code are written as 512.
inline std::uint8_t sectorSizeCode(std::int64_t bytesPerSector) {
    switch (bytesPerSector) {
    case 128:
        return 0;
    case 256:
        return 1;
    case 1024:
        return 3;
    default:
        return 2;
    }
}

// Header fields each pass their own range check, yet their product can still exceed
// what a 32-bit volume-size field (and every writer) can hold.
inline void requireVolumeFits32(const DiskGeometry& geometry, const std::string& format) {
    const std::int64_t total = geometry.totalBytes();
    if (total > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) {
        throw DiskImageError::headerParseFailure(
            translate("%1$sのディスク容量が大きすぎます: %2$sバイト", {format, total}));
    }
}

using MediaGeometry = std::optional<DiskGeometry> (*)(std::uint8_t mediaType);

inline DiskImageError badMediaType(const std::string& container, std::uint8_t type) {
    return DiskImageError::headerParseFailure(
        translate("%1$sのメディアタイプが不正です: %2$s", {container, hexByte(type)}));
}

// The media-type byte that starts a DIM or DCP/DCU header, checked against the
// container's own table before anything else is read.
inline std::uint8_t readMediaTypeByte(const ImageFileReader& file, std::int64_t headerSize,
                                      const std::string& container, MediaGeometry geometryFor) {
    const std::uint8_t type = file.named(container).read(0, headerSize)[0];
    if (!geometryFor(type)) {
        throw badMediaType(container, type);
    }
    return type;
}

// Header plus the volume, as every header writer lays them out.
inline Bytes joinHeader(Bytes header, ByteView volume) {
    header.insert(header.end(), volume.begin(), volume.end());
    return header;
}

} // namespace tamberlane::formats

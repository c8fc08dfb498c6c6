#include "engine/image/formats/FDIFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/image/formats/FormatSupport.h"

namespace tamberlane {

namespace {

constexpr std::int64_t readHeaderSize = 32;

Bytes fdiStyleHeader(const DiskGeometry& g, std::uint32_t typeCode, std::int64_t volumeSize) {
    Bytes header(static_cast<std::size_t>(FDIImageFormat::writtenHeaderSize), 0);
    writeU32LE(header, 0, typeCode);
    writeU32LE(header, 8, static_cast<std::uint32_t>(FDIImageFormat::writtenHeaderSize));
    writeU32LE(header, 12, static_cast<std::uint32_t>(volumeSize));
    writeU32LE(header, 16, static_cast<std::uint32_t>(g.bytesPerSector));
    writeU32LE(header, 20, static_cast<std::uint32_t>(g.sectorsPerTrack));
    writeU32LE(header, 24, static_cast<std::uint32_t>(g.heads));
    writeU32LE(header, 28, static_cast<std::uint32_t>(g.cylinders));
    return header;
}

} // namespace

bool FDIImageFormat::passesHeaderTest(ByteView data) {
    if (static_cast<std::int64_t>(data.size()) < readHeaderSize) {
        return false;
    }
    const std::int64_t sectorSize = readU32LE(data, 16);
    const std::int64_t headerSize = readU32LE(data, 8);
    return isValidSectorSize(sectorSize) && headerSize != 0 &&
           headerSize <= static_cast<std::int64_t>(data.size());
}

DiskGeometry parseFDIStyleGeometry(ByteView data, const std::string& format) {
    if (static_cast<std::int64_t>(data.size()) < readHeaderSize) {
        throw DiskImageError::headerParseFailure(
            format + "ヘッダに必要なデータが不足しています（必要: 32バイト、実際: " +
            std::to_string(data.size()) + "バイト）");
    }
    const std::int64_t bytesPerSector = readU32LE(data, 16);
    const std::int64_t sectorsPerTrack = readU32LE(data, 20);
    const std::int64_t heads = readU32LE(data, 24);
    const std::int64_t cylinders = readU32LE(data, 28);
    const auto fail = [&](const char* what, std::int64_t value) {
        return DiskImageError::headerParseFailure(format + what + std::to_string(value));
    };
    if (cylinders < 1 || cylinders > 65535) {
        throw fail("ヘッダのシリンダ数が不正です: ", cylinders);
    }
    if (heads < 1 || heads > 256) {
        throw fail("ヘッダのヘッド数が不正です: ", heads);
    }
    if (sectorsPerTrack < 1 || sectorsPerTrack > 255) {
        throw fail("ヘッダのセクタ/トラック数が不正です: ", sectorsPerTrack);
    }
    if (!isValidSectorSize(bytesPerSector)) {
        throw fail("ヘッダのバイト/セクタが不正です: ", bytesPerSector);
    }
    const DiskGeometry geometry{heads, cylinders, sectorsPerTrack, bytesPerSector};
    formats::requireVolumeFits32(geometry, format);
    return geometry;
}

DiskGeometry FDIImageFormat::parseGeometry(ByteView data) const {
    return parseFDIStyleGeometry(data, "FDI");
}

std::int64_t FDIImageFormat::dataOffset(ByteView data) const {
    if (data.size() < 12 || readU32LE(data, 8) == 0) {
        return writtenHeaderSize;
    }
    return readU32LE(data, 8);
}

Bytes buildFDINewImage(ByteView volume, const DiskGeometry& g) {
    std::uint32_t typeCode = 0x10;
    if (g.bytesPerSector == 512 && g.sectorsPerTrack == 18) {
        typeCode = 0x30;
    } else if (g.bytesPerSector == 1024 && g.cylinders == 77) {
        typeCode = 0x90;
    }
    return formats::joinHeader(fdiStyleHeader(g, typeCode, g.totalBytes()), volume);
}

Bytes buildFDIImage(ByteView flatData, const DiskGeometry& g) {
    return formats::joinHeader(fdiStyleHeader(g, 0, static_cast<std::int64_t>(flatData.size())),
                               flatData);
}

} // namespace tamberlane

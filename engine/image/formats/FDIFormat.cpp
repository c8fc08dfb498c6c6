#include "engine/image/formats/FDIFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
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

bool FDIImageFormat::passesHeaderTest(const ImageFileReader& file) {
    if (!file.holds(0, readHeaderSize)) {
        return false;
    }
    const Bytes data = file.read(0, readHeaderSize);
    const std::int64_t sectorSize = readU32LE(data, 16);
    const std::int64_t headerSize = readU32LE(data, 8);
    return isValidSectorSize(sectorSize) && headerSize != 0 && headerSize <= file.size();
}

DiskGeometry parseFDIStyleGeometry(const ImageFileReader& file, const std::string& format) {
    const Bytes data = file.named(format).read(0, readHeaderSize);
    const std::int64_t bytesPerSector = readU32LE(data, 16);
    const std::int64_t sectorsPerTrack = readU32LE(data, 20);
    const std::int64_t heads = readU32LE(data, 24);
    const std::int64_t cylinders = readU32LE(data, 28);
    const auto fail = [](const std::string& text) {
        return DiskImageError::headerParseFailure(text);
    };
    if (cylinders < 1 || cylinders > 65535) {
        throw fail(translate("%1$sヘッダのシリンダ数が不正です: %2$s", {format, cylinders}));
    }
    if (heads < 1 || heads > 256) {
        throw fail(translate("%1$sヘッダのヘッド数が不正です: %2$s", {format, heads}));
    }
    if (sectorsPerTrack < 1 || sectorsPerTrack > 255) {
        throw fail(
            translate("%1$sヘッダのセクタ/トラック数が不正です: %2$s", {format, sectorsPerTrack}));
    }
    if (!isValidSectorSize(bytesPerSector)) {
        throw fail(
            translate("%1$sヘッダのバイト/セクタが不正です: %2$s", {format, bytesPerSector}));
    }
    const DiskGeometry geometry{heads, cylinders, sectorsPerTrack, bytesPerSector};
    formats::requireVolumeFits32(geometry, format);
    return geometry;
}

DiskGeometry FDIImageFormat::parseGeometry(const ImageFileReader& file) const {
    return parseFDIStyleGeometry(file, "FDI");
}

std::int64_t FDIImageFormat::dataOffset(const ImageFileReader& file) const {
    const std::int64_t stated = file.holds(8, 4) ? readU32LE(file.read(8, 4), 0) : 0;
    return stated == 0 ? writtenHeaderSize : stated;
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
    return formats::joinHeader(buildFDIHeader(static_cast<std::int64_t>(flatData.size()), g),
                               flatData);
}

Bytes buildFDIHeader(std::int64_t volumeSize, const DiskGeometry& g) {
    return fdiStyleHeader(g, 0, volumeSize);
}

} // namespace tamberlane

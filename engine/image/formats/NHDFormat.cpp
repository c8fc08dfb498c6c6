#include "engine/image/formats/NHDFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/image/formats/FormatSupport.h"

#include <cstring>

namespace tamberlane {

namespace {

const char* const signature = "T98HDDIMAGE.R0";

Bytes readHeader(const ImageFileReader& file) {
    return file.named("NHD").read(0, NHDImageFormat::headerSize);
}

} // namespace

NHDImageFormat::NHDImageFormat(const ImageFileReader& file) {
    const Bytes data = readHeader(file);
    const std::string id = formats::asciiText(ByteView(data).first(14));
    if (id != signature) {
        throw DiskImageError::headerParseFailure(translate("NHDシグネチャが不正です: %1$s", {id}));
    }
    _headerSize = readU32LE(data, 0x110);
    if (_headerSize == 0 || _headerSize > file.size()) {
        throw DiskImageError::headerParseFailure(
            translate("NHDヘッダサイズが不正です: %1$s", {_headerSize}));
    }
}

DiskGeometry NHDImageFormat::parseGeometry(const ImageFileReader& file) const {
    const Bytes data = readHeader(file);
    const std::int64_t sectorsPerTrack = readU32LE(data, 0x118);
    const std::int64_t heads = readU32LE(data, 0x11C);
    const std::int64_t cylinders = readU32LE(data, 0x120);
    const std::int64_t bytesPerSector = readU32LE(data, 0x124);
    const auto fail = [](const std::string& text) {
        return DiskImageError::headerParseFailure(text);
    };
    if (cylinders < 1 || cylinders > 65535) {
        throw fail(translate("%1$sヘッダのシリンダ数が不正です: %2$s", {"NHD", cylinders}));
    }
    if (heads < 1 || heads > 256) {
        throw fail(translate("%1$sヘッダのヘッド数が不正です: %2$s", {"NHD", heads}));
    }
    if (sectorsPerTrack < 1 || sectorsPerTrack > 255) {
        throw fail(
            translate("%1$sヘッダのセクタ/トラック数が不正です: %2$s", {"NHD", sectorsPerTrack}));
    }
    if (!isValidSectorSize(bytesPerSector)) {
        throw fail(translate("%1$sヘッダのバイト/セクタが不正です: %2$s", {"NHD", bytesPerSector}));
    }
    const DiskGeometry geometry{heads, cylinders, sectorsPerTrack, bytesPerSector};
    formats::requireVolumeFits32(geometry, "NHD");
    return geometry;
}

Bytes buildNHDImage(ByteView flatData, const DiskGeometry& g) {
    return formats::joinHeader(buildNHDHeader(g), flatData);
}

Bytes buildNHDHeader(const DiskGeometry& g) {
    Bytes header(static_cast<std::size_t>(NHDImageFormat::headerSize), 0);
    std::memcpy(header.data(), signature, 14);
    writeU32LE(header, 0x110, static_cast<std::uint32_t>(NHDImageFormat::headerSize));
    writeU32LE(header, 0x118, static_cast<std::uint32_t>(g.sectorsPerTrack));
    writeU32LE(header, 0x11C, static_cast<std::uint32_t>(g.heads));
    writeU32LE(header, 0x120, static_cast<std::uint32_t>(g.cylinders));
    writeU32LE(header, 0x124, static_cast<std::uint32_t>(g.bytesPerSector));
    return header;
}

} // namespace tamberlane

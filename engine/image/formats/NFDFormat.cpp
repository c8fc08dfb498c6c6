#include "engine/image/formats/NFDFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/image/formats/FormatSupport.h"

#include <algorithm>
#include <cstring>

namespace tamberlane {

namespace {

constexpr std::int64_t tableStart = 0x120;
constexpr std::int64_t trackBytes = 416;
constexpr std::int64_t entryBytes = 16;
constexpr std::int64_t entriesPerTrack = 26;
constexpr std::int64_t tracksInTable = 164;
// 128 << N beyond this no longer fits the 32-bit sizes a volume is measured in.
constexpr std::int64_t maxSizeCode = 24;
const char* const signature = "T98FDDIMAGE.R0";

std::int64_t entryAt(std::int64_t track, std::int64_t k) {
    return tableStart + track * trackBytes + k * entryBytes;
}

} // namespace

NFDImageFormat::NFDImageFormat(const ImageFileReader& file) {
    // The track table that follows has no fixed length: the message states no sizes.
    if (!file.holds(0, tableStart)) {
        throw DiskImageError::headerTooShort("NFD");
    }
    const Bytes data = file.read(0, tableStart);
    const std::string id = formats::asciiText(ByteView(data).first(14));
    if (id != signature) {
        throw DiskImageError::headerParseFailure(translate("NFDシグネチャが不正です: %1$s", {id}));
    }
    _headerSize = readU32LE(data, 0x110);
    if (_headerSize == 0 || _headerSize > file.size()) {
        throw DiskImageError::headerParseFailure(
            translate("NFDヘッダサイズが不正です: %1$s", {_headerSize}));
    }
    writeProtected = data[0x114] != 0;
    heads = data[0x115];
    if (heads == 0) {
        throw DiskImageError::headerParseFailure(
            translate("%1$sヘッダのヘッド数が不正です: %2$s", {"NFD", 0}));
    }
}

DiskGeometry NFDImageFormat::parseGeometry(const ImageFileReader& file) const {
    // The whole track table, or as much of it as a short file holds.
    const Bytes data = file.read(0, std::min(file.size(), entryAt(tracksInTable, 0)));
    const std::int64_t size = static_cast<std::int64_t>(data.size());
    const auto byteAt = [&](std::int64_t at) { return data[static_cast<std::size_t>(at)]; };
    const auto isTerminator = [&](std::int64_t at, std::int64_t index) {
        return byteAt(at) == 0xFF ||
               (index > 0 && byteAt(at) == 0 && byteAt(at + 2) == 0 && byteAt(at + 3) == 0);
    };

    std::int64_t sectors = 0;
    std::int64_t bytesPerSector = 512;
    for (std::int64_t k = 0; k < entriesPerTrack && rangeFits(entryAt(0, k), 4, size); ++k) {
        const std::int64_t at = entryAt(0, k);
        if (isTerminator(at, k)) {
            break;
        }
        ++sectors;
        if (k == 0) {
            const std::int64_t code = byteAt(at + 3);
            if (code > maxSizeCode) {
                throw DiskImageError::headerParseFailure(
                    translate("NFDのセクタサイズコードが不正です: %1$s", {code}));
            }
            bytesPerSector = std::int64_t{128} << code;
        }
    }
    if (sectors == 0) {
        throw DiskImageError::headerParseFailure(translate("NFDのセクタ数が0です"));
    }
    std::int64_t tracks = 0;
    for (std::int64_t t = 0; t < tracksInTable && rangeFits(entryAt(t, 0), entryBytes, size); ++t) {
        if (isTerminator(entryAt(t, 0), t)) {
            break;
        }
        ++tracks;
    }
    if (tracks == 0) {
        throw DiskImageError::headerParseFailure(translate("NFDの有効トラック数が0です"));
    }
    const DiskGeometry geometry{heads, tracks / heads, sectors, bytesPerSector};
    formats::requireVolumeFits32(geometry, "NFD");
    return geometry;
}

Bytes buildNFDImage(ByteView flatData, const DiskGeometry& g) {
    Bytes header(static_cast<std::size_t>(NFDImageFormat::writtenHeaderSize), 0);
    std::memcpy(header.data(), signature, 14);
    writeU32LE(header, 0x110, static_cast<std::uint32_t>(NFDImageFormat::writtenHeaderSize));
    header[0x115] = static_cast<std::uint8_t>(g.heads);
    const std::int64_t described = std::min(g.heads * g.cylinders, tracksInTable);
    const std::uint8_t code = formats::sectorSizeCode(g.bytesPerSector);
    for (std::int64_t t = 0; t < described; ++t) {
        for (std::int64_t k = 0; k < entriesPerTrack; ++k) {
            const auto at = header.begin() + entryAt(t, k);
            if (k >= g.sectorsPerTrack) {
                std::fill(at, at + entryBytes, 0xFF);
                continue;
            }
            at[0] = static_cast<std::uint8_t>(t / g.heads);
            at[1] = static_cast<std::uint8_t>(t % g.heads);
            at[2] = static_cast<std::uint8_t>(k + 1);
            at[3] = code;
            at[4] = 1;
        }
    }
    return formats::joinHeader(std::move(header), flatData);
}

} // namespace tamberlane

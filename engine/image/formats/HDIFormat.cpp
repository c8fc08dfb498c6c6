#include "engine/image/formats/HDIFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/image/formats/FDIFormat.h"
#include "engine/image/formats/FormatSupport.h"

namespace tamberlane {

namespace {

std::int64_t readHeaderSize(ByteView data) {
    if (data.size() < 32) {
        throw DiskImageError::headerParseFailure(
            "HDIヘッダに必要なデータが不足しています（必要: 32バイト、実際: " +
            std::to_string(data.size()) + "バイト）");
    }
    return readU32LE(data, 8);
}

} // namespace

HDIImageFormat::HDIImageFormat(ByteView data) : _headerSize(readHeaderSize(data)) {}

DiskGeometry HDIImageFormat::parseGeometry(ByteView data) const {
    return parseFDIStyleGeometry(data, "HDI");
}

Bytes buildHDIImage(ByteView flatData, const DiskGeometry& g) {
    // The conversion header is the FDI one with a zero type code.
    return buildFDIImage(flatData, g);
}

} // namespace tamberlane

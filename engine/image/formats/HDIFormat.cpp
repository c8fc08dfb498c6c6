#include "engine/image/formats/HDIFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/image/formats/FDIFormat.h"
#include "engine/image/formats/FormatSupport.h"

namespace tamberlane {

namespace {

std::int64_t readHeaderSize(const ImageFileReader& file) {
    return readU32LE(file.named("HDI").read(0, 32), 8);
}

} // namespace

HDIImageFormat::HDIImageFormat(const ImageFileReader& file) : _headerSize(readHeaderSize(file)) {}

DiskGeometry HDIImageFormat::parseGeometry(const ImageFileReader& file) const {
    return parseFDIStyleGeometry(file, "HDI");
}

Bytes buildHDIImage(ByteView flatData, const DiskGeometry& g) {
    // The conversion header is the FDI one with a zero type code.
    return buildFDIImage(flatData, g);
}

} // namespace tamberlane

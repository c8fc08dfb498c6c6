#include "engine/image/formats/THDFormat.h"

#include "engine/base/DiskImageError.h"

namespace tamberlane {

namespace {

std::int64_t checkedSize(std::int64_t fileSize) {
    if (fileSize < 1 || fileSize % THDImageFormat::cylinderBytes != 0) {
        throw DiskImageError::headerParseFailure(
            "THDファイルサイズが不正です: " + std::to_string(fileSize) +
            "バイト（33792バイト単位でなければなりません）");
    }
    return fileSize;
}

} // namespace

THDImageFormat::THDImageFormat(std::int64_t size) : fileSize(checkedSize(size)) {}

DiskGeometry THDImageFormat::parseGeometry(const ImageFileReader&) const {
    if (fileSize < cylinderBytes) {
        throw DiskImageError::headerParseFailure(
            "THDのシリンダ数が0です（ファイルサイズ: " + std::to_string(fileSize) + "バイト）");
    }
    return {4, fileSize / cylinderBytes, 33, 256};
}

} // namespace tamberlane

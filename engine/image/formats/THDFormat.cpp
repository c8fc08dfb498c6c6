#include "engine/image/formats/THDFormat.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"

namespace tamberlane {

namespace {

std::int64_t checkedSize(std::int64_t fileSize) {
    if (fileSize < 1 || fileSize % THDImageFormat::cylinderBytes != 0) {
        throw DiskImageError::headerParseFailure(translate(
            "THDファイルサイズが不正です: %1$sバイト（%2$sバイト単位でなければなりません）",
            {fileSize, THDImageFormat::cylinderBytes}));
    }
    return fileSize;
}

} // namespace

THDImageFormat::THDImageFormat(std::int64_t size) : fileSize(checkedSize(size)) {}

DiskGeometry THDImageFormat::parseGeometry(const ImageFileReader&) const {
    if (fileSize < cylinderBytes) {
        throw DiskImageError::headerParseFailure(
            translate("THDのシリンダ数が0です（ファイルサイズ: %1$sバイト）", {fileSize}));
    }
    return {4, fileSize / cylinderBytes, 33, 256};
}

} // namespace tamberlane

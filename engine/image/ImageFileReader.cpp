#include "engine/image/ImageFileReader.h"

#include "engine/base/DiskImageError.h"

namespace tamberlane {

bool ImageFileReader::holds(std::int64_t offset, std::int64_t length) const {
    return rangeFits(offset, length, size());
}

Bytes ImageFileReader::read(std::int64_t offset, std::int64_t length) const {
    if (!holds(offset, length)) {
        throw DiskImageError::headerTooShort(container_, offset + length, size());
    }
    const ByteView bytes =
        file_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    return Bytes(bytes.begin(), bytes.end());
}

} // namespace tamberlane

#include "engine/image/ImageFileReader.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/PagedBytes.h"

#include <algorithm>
#include <stdexcept>

namespace tamberlane {

ImageFileReader::ImageFileReader(const PagedBytes& file, std::string container)
    : pages_(&file), size_(static_cast<std::int64_t>(file.size())),
      container_(std::move(container)) {}

ImageFileReader ImageFileReader::named(std::string container) const {
    ImageFileReader renamed = *this;
    renamed.container_ = std::move(container);
    return renamed;
}

ImageFileReader ImageFileReader::part(std::int64_t offset, std::int64_t length) const {
    if (!holds(offset, length)) {
        throw std::out_of_range("part past the end of an image file");
    }
    ImageFileReader inner = *this;
    inner.start_ = start_ + offset;
    inner.size_ = length;
    return inner;
}

bool ImageFileReader::holds(std::int64_t offset, std::int64_t length) const {
    return rangeFits(offset, length, size_);
}

Bytes ImageFileReader::read(std::int64_t offset, std::int64_t length) const {
    if (!holds(offset, length)) {
        throw DiskImageError::headerTooShort(container_, offset + length, size_);
    }
    const auto from = static_cast<std::size_t>(start_ + offset);
    const auto count = static_cast<std::size_t>(length);
    if (pages_ != nullptr) {
        return pages_->slice(from, count);
    }
    return Bytes(view_ + from, view_ + from + count);
}

Bytes ImageFileReader::readUpTo(std::int64_t offset, std::int64_t length) const {
    if (offset < 0 || offset > size_ || length < 0) {
        return {};
    }
    return read(offset, std::min(length, size_ - offset));
}

} // namespace tamberlane

#pragma once

#include "engine/base/Bytes.h"

#include <cstdint>
#include <string>

namespace tamberlane {

class PagedBytes;

// The file a container is read from. Parsers ask it for the bytes they need and never
// see the file as one span, so that reading can move to pages fetched on demand without
// touching each parser again. The reader refers to the bytes; they must outlive it.
class ImageFileReader {
  public:
    // `container` names the header in the error a read past the end throws.
    explicit ImageFileReader(ByteView file, std::string container = {})
        : view_(file.data()), size_(static_cast<std::int64_t>(file.size())),
          container_(std::move(container)) {}
    // Reads the pages in place: the file is never joined into one buffer.
    explicit ImageFileReader(const PagedBytes& file, std::string container = {});

    std::int64_t size() const { return size_; }
    const std::string& container() const { return container_; }
    // The same file, read for the header of another container.
    ImageFileReader named(std::string container) const;
    // Bytes [offset, offset + length) as a file of their own, e.g. one disk of a file
    // that holds several; the range must lie inside this one.
    ImageFileReader part(std::int64_t offset, std::int64_t length) const;

    // `length` bytes from `offset`; a file that ends first is a header cut short.
    Bytes read(std::int64_t offset, std::int64_t length) const;
    // Up to `length` bytes from `offset`, fewer where the file ends first.
    Bytes readUpTo(std::int64_t offset, std::int64_t length) const;
    // Whether those bytes are all in the file.
    bool holds(std::int64_t offset, std::int64_t length) const;

  private:
    // One of the two is set; `start_` is where this reader's byte 0 lies in it.
    const std::uint8_t* view_ = nullptr;
    const PagedBytes* pages_ = nullptr;
    std::int64_t start_ = 0;
    std::int64_t size_ = 0;
    std::string container_;
};

} // namespace tamberlane

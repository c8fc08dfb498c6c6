#pragma once

#include "engine/base/Bytes.h"

#include <cstdint>
#include <string>

namespace tamberlane {

// The file a container is read from. Parsers ask it for the bytes they need instead of
// indexing the whole file, so that reading can move to pages fetched on demand without
// touching each parser again. For now the file is in memory.
class ImageFileReader {
  public:
    // `container` names the header in the error a read past the end throws.
    explicit ImageFileReader(ByteView file, std::string container = {})
        : file_(file), container_(std::move(container)) {}

    std::int64_t size() const { return static_cast<std::int64_t>(file_.size()); }
    const std::string& container() const { return container_; }
    // The same file, read for the header of another container.
    ImageFileReader named(std::string container) const {
        return ImageFileReader(file_, std::move(container));
    }

    // `length` bytes from `offset`; a file that ends first is a header cut short.
    Bytes read(std::int64_t offset, std::int64_t length) const;
    // Whether those bytes are all in the file.
    bool holds(std::int64_t offset, std::int64_t length) const;
    // The whole file, for the readers that still scan it (a headerless disk's content,
    // D88 track records).
    ByteView contents() const { return file_; }

  private:
    ByteView file_;
    std::string container_;
};

} // namespace tamberlane

#pragma once

#include "engine/image/DiskImageFormat.h"

#include <array>

namespace tamberlane {

// A headerless image: the volume is the whole file, its geometry known by its size.
class PlainImageFormat : public DiskImageFormat {
  public:
    explicit PlainImageFormat(std::int64_t fileSize, std::string extension = "BIN")
        : fileSize(fileSize), extension_(std::move(extension)) {}

    const std::int64_t fileSize;

    DiskGeometry parseGeometry(ByteView data) const override;
    std::int64_t dataOffset(ByteView) const override { return 0; }
    std::string name() const override { return extension_; }

    struct KnownSize {
        std::int64_t size;
        DiskGeometry geometry;
    };
    // In the order the size message lists them.
    static const std::vector<KnownSize>& knownSizes();

  private:
    std::string extension_;
};

} // namespace tamberlane

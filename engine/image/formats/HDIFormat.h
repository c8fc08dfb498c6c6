#pragma once

// HDI: the FDI header layout (see FDIFormat.h) in front of a hard-disk volume; the
// header size at offset 8 is taken as it stands.

#include "engine/image/DiskImageFormat.h"

namespace tamberlane {

class HDIImageFormat : public DiskImageFormat {
  public:
    explicit HDIImageFormat(const ImageFileReader& file);

    const std::int64_t _headerSize;

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader&) const override { return _headerSize; }
    std::string name() const override { return "HDI"; }
    ContainerFamily family() const override { return ContainerFamily::hdi; }
};

Bytes buildHDIImage(ByteView flatData, const DiskGeometry& geometry);

} // namespace tamberlane

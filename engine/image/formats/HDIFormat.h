#pragma once

// HDI: the FDI header layout (see FDIFormat.h) in front of a hard-disk volume; the
// header size at offset 8 is taken as it stands.

#include "engine/image/DiskImageFormat.h"

namespace tamberlane {

class HDIImageFormat : public DiskImageFormat {
  public:
    explicit HDIImageFormat(ByteView data);

    const std::int64_t _headerSize;

    DiskGeometry parseGeometry(ByteView data) const override;
    std::int64_t dataOffset(ByteView) const override { return _headerSize; }
    std::string name() const override { return "HDI"; }
    bool mayHoldPartitionTable() const override { return true; }
};

Bytes buildHDIImage(ByteView flatData, const DiskGeometry& geometry);

} // namespace tamberlane

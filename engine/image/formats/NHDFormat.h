#pragma once

// NHD: a 296-byte header in front of a hard-disk volume.
//
//   0x000   15  "T98HDDIMAGE.R0" and NUL
//   0x00F  257  comment / reserved
//   0x110    4  header size = offset of the volume
//   0x114    4  reserved
//   0x118    4  sectors per track
//   0x11C    4  heads
//   0x120    4  cylinders
//   0x124    4  bytes per sector

#include "engine/image/DiskImageFormat.h"

namespace tamberlane {

class NHDImageFormat : public DiskImageFormat {
  public:
    static constexpr std::int64_t headerSize = 296;

    explicit NHDImageFormat(const ImageFileReader& file);

    std::int64_t _headerSize = 0;
    // The container has no write-protect field.
    bool writeProtected = false;

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader&) const override { return _headerSize; }
    std::string name() const override { return "NHD"; }
    ContainerFamily family() const override { return ContainerFamily::nhd; }
    bool isWriteProtected() const override { return writeProtected; }
};

Bytes buildNHDImage(ByteView flatData, const DiskGeometry& geometry);
// The header buildNHDImage puts before the volume.
Bytes buildNHDHeader(const DiskGeometry& geometry);

} // namespace tamberlane

#pragma once

// DCP/DCU: a 163-byte header in front of the volume.
//
//   0x00    1  media type (0x01 2HD, 0x02 2HC, 0x03 2HQ, 0x04 2DD 8, 0x05 2DD 9, 0x08 1024x9)
//   0x01  160  one byte per track, 0x01 = present (written; not read)
//   0xA1    1  0x01 (written)
//   0xA2    1  0
//   0xA3       volume

#include "engine/image/DiskImageFormat.h"

#include <cstdint>

namespace tamberlane {

class DCPImageFormat : public DiskImageFormat {
  public:
    static constexpr std::int64_t headerSize = 163;

    explicit DCPImageFormat(const ImageFileReader& file);

    const std::uint8_t mediaType;

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader&) const override { return headerSize; }
    std::string name() const override { return "DCP"; }
    ContainerFamily family() const override { return ContainerFamily::dcp; }
};

// Used for new images and conversions alike.
Bytes buildDCPNewImage(ByteView diskData, const DiskGeometry& geometry);

} // namespace tamberlane

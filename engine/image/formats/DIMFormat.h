#pragma once

// DIM: a 256-byte header in front of the volume.
//
//   0x00    1  media type (0x00/0x01 2HD 1024-byte, 0x02 2HC, 0x03 2HQ)
//   0x01  160  one byte per track, 0x01 = present (written; not read)
//   0xAB   13  "DIFC HEADER  " (written; ignored when read)
//   0x100      volume

#include "engine/image/DiskImageFormat.h"

#include <cstdint>

namespace tamberlane {

class DIMImageFormat : public DiskImageFormat {
  public:
    static constexpr std::int64_t headerSize = 256;

    explicit DIMImageFormat(const ImageFileReader& file);

    const std::uint8_t mediaType;

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader&) const override { return headerSize; }
    std::string name() const override { return "DIM"; }
    ContainerFamily family() const override { return ContainerFamily::dim; }
};

// Whether a DIM written for `geometry` reads back with it: the header has no media type
// for every floppy (a 640 KB disk would come back as a 1.2 MB one).
bool dimReadsBack(const DiskGeometry& geometry);

// Used for new images and conversions alike.
Bytes buildDIMNewImage(ByteView diskData, const DiskGeometry& geometry);

} // namespace tamberlane

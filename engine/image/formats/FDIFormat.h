#pragma once

// FDI (and HDI, which shares the layout): a header in front of the volume.
//
//   0   4  type code (written by new images only; never read)
//   4   4  reserved
//   8   4  header size = offset of the volume
//  12   4  volume size in bytes (written; never read)
//  16   4  bytes per sector
//  20   4  sectors per track
//  24   4  heads
//  28   4  cylinders
//
// 32 bytes are read; writers emit a 4096-byte header.

#include "engine/image/DiskImageFormat.h"

#include <string>

namespace tamberlane {

class FDIImageFormat : public DiskImageFormat {
  public:
    static constexpr std::int64_t writtenHeaderSize = 4096;

    // Detection's check that the file carries an FDI header at all.
    static bool passesHeaderTest(const ImageFileReader& file);

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader& file) const override;
    std::string name() const override { return "FDI"; }
    ContainerFamily family() const override { return ContainerFamily::fdi; }
};

// The FDI/HDI geometry check; `format` ("FDI" or "HDI") names the header in messages.
DiskGeometry parseFDIStyleGeometry(const ImageFileReader& file, const std::string& format);

// A new FDI or HDI image: its header carries a type code and the volume size.
Bytes buildFDINewImage(ByteView volume, const DiskGeometry& geometry);
Bytes buildFDIImage(ByteView flatData, const DiskGeometry& geometry);
// The header buildFDIImage puts before a volume of `volumeSize` bytes.
Bytes buildFDIHeader(std::int64_t volumeSize, const DiskGeometry& geometry);

} // namespace tamberlane

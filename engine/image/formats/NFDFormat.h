#pragma once

// NFD (R0 layout): a header with a per-sector table in front of the volume.
//
//   0x000    15  "T98FDDIMAGE.R0" and NUL
//   0x00F   257  comment / reserved
//   0x110     4  header size = offset of the volume
//   0x114     1  write protect (non-zero = protected)
//   0x115     1  heads
//   0x116    10  reserved
//   0x120  66560  164 tracks x 26 entries x 16 bytes: C, H, R, N, MFM flag, 11 reserved
//
// The table only yields the geometry; the volume is read as one run of sectors.

#include "engine/image/DiskImageFormat.h"

namespace tamberlane {

class NFDImageFormat : public DiskImageFormat {
  public:
    static constexpr std::int64_t writtenHeaderSize = 0x10BA0;

    explicit NFDImageFormat(const ImageFileReader& file);

    std::int64_t _headerSize = 0;
    bool writeProtected = false;
    std::int64_t heads = 0;

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader&) const override { return _headerSize; }
    std::string name() const override { return "NFD"; }
    ContainerFamily family() const override { return ContainerFamily::nfd; }
    bool isWriteProtected() const override { return writeProtected; }
};

// New images and conversions write the same NFD file.
Bytes buildNFDImage(ByteView flatData, const DiskGeometry& geometry);

} // namespace tamberlane

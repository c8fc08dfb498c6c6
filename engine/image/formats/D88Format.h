#pragma once

// D88: a 688-byte header per disk, then track records of sector records; a file may
// hold several disks one after another.
//
//   0x00  16  disk name (Shift-JIS up to the first NUL)
//   0x10  10  reserved
//   0x1A   1  write protect (non-zero = protected)
//   0x1B   1  disk type: 0x00 2D, 0x10 2DD, 0x20 2HD
//   0x1C   4  disk size, header included
//   0x20 656  164 track offsets from the start of this disk (0 = no track)
//
// Sector record: C, H, R, N, sector count (u16), density, deleted mark, status,
// 5 reserved, data size (u16 at 14), then the data.

#include "engine/base/Bytes.h"
#include "engine/image/DiskImageFormat.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tamberlane {

enum class D88DiskType : std::uint8_t { d2D = 0x00, d2DD = 0x10, d2HD = 0x20 };

// "2D", "2DD" or "2HD", as disk lists show the type.
inline std::string d88DiskTypeName(D88DiskType type) {
    switch (type) {
    case D88DiskType::d2D:
        return "2D";
    case D88DiskType::d2DD:
        return "2DD";
    case D88DiskType::d2HD:
        return "2HD";
    }
    return "2D";
}

struct D88Header {
    static constexpr std::int64_t size = 688;
    static constexpr int trackCount = 164;

    std::string diskName;
    bool writeProtect = false;
    D88DiskType diskType = D88DiskType::d2D;
    std::uint32_t diskSize = 0;
    std::array<std::uint32_t, trackCount> trackOffsets{};
};

struct D88SectorHeader {
    std::uint8_t cylinder = 0;
    std::uint8_t head = 0;
    std::uint8_t record = 0;
    std::uint8_t sizeCode = 0;
    std::uint16_t sectorCount = 0;
    std::uint8_t density = 0;
    std::uint8_t deletedMark = 0;
    std::uint8_t status = 0;
    std::uint16_t dataSize = 0;
};

struct D88Disk {
    std::int64_t offset = 0;
    D88Header header;
};

struct D88TrackLayout {
    std::int64_t sectorsPerTrack = 0;
    std::int64_t bytesPerSector = 0;
};

// Which disk-type rule a D88 writer follows.
enum class D88WriteVariant { newImage, conversion };

class D88ImageFormat : public DiskImageFormat {
  public:
    explicit D88ImageFormat(D88Header header) : header(std::move(header)) {}

    const D88Header header;

    // `file` starts at the disk's first byte (the header).
    static D88Header parseHeader(const ImageFileReader& file);
    static D88Header parseHeader(ByteView data) { return parseHeader(ImageFileReader(data)); }
    // The complete disks of a file, in order; stops at the first disk that is not.
    static std::vector<D88Disk> detectMultipleDisks(const ImageFileReader& file);
    static std::vector<D88Disk> detectMultipleDisks(ByteView data) {
        return detectMultipleDisks(ImageFileReader(data));
    }
    static D88SectorHeader parseSectorHeader(const ImageFileReader& disk, std::int64_t offset);
    static D88TrackLayout analyzeFirstTrack(const ImageFileReader& disk,
                                            const std::array<std::uint32_t, 164>& trackOffsets);
    // Sectors in track order; missing, empty or out-of-range sectors stay zero.
    static Bytes extractFlatData(const ImageFileReader& file, const D88Header& header,
                                 const DiskGeometry& geometry);
    static std::string decodeNullTerminatedShiftJIS(ByteView bytes);
    // The disk that starts `file`: its stated size when that is plausible, otherwise
    // everything up to the end. Reading and saving both stay inside it.
    static std::int64_t diskExtent(const ImageFileReader& file);
    static ImageFileReader diskOf(const ImageFileReader& file);
    // One walk over the sector records of every track, shared by extraction and the save
    // rebuild so that both address exactly the same bytes: `visit(flatIndex, dataPos,
    // dataSize)` for each record whose data lies inside `disk` (at most sectorsPerTrack
    // records a track; a zero data size ends the track).
    using SectorVisitor = std::function<void(std::int64_t, std::int64_t, std::int64_t)>;
    static void forEachSectorRecord(const ImageFileReader& disk, std::int64_t sectorsPerTrack,
                                    const SectorVisitor& visit);
    static std::int64_t cylindersFor(D88DiskType type);

    static Bytes generateD88Header(const DiskGeometry& geometry, D88WriteVariant variant);
    // A whole single-disk file; sectors not wholly inside `flatData` are written as zeros.
    static Bytes buildD88Image(ByteView flatData, const DiskGeometry& geometry,
                               D88WriteVariant variant = D88WriteVariant::conversion);

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader& file) const override;
    std::string name() const override { return "D88"; }
    ContainerFamily family() const override { return ContainerFamily::d88; }
    bool isWriteProtected() const override { return header.writeProtect; }
    std::optional<Bytes> extractFlatVolume(const ImageFileReader& file,
                                           const DiskGeometry& geometry) const override {
        return extractFlatData(file, header, geometry);
    }
    std::optional<std::vector<bool>> storedSectors(const ImageFileReader& file,
                                                   const DiskGeometry& geometry) const override;
    SectorRecordFlaws sectorRecordFlaws(const ImageFileReader& file,
                                        const DiskGeometry& geometry) const override;
    PagedBytes containerBytes(const PagedBytes& flat, const PagedBytes* original,
                              const DiskGeometry& geometry, std::int64_t diskOffset) const override;
    // Puts the flat volume back into the track records of the file as it was read.
    static PagedBytes rebuildFile(const PagedBytes& flat, const PagedBytes& original,
                                  const DiskGeometry& geometry, std::int64_t diskOffset = 0);
};

} // namespace tamberlane

#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/FATTable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamberlane {

// Records the old bytes of every sector an operation writes, so that a failure at any
// later point (a full directory, a failed save) can put the in-memory image back
// exactly as it was. Without it a failed operation would leave memory ahead of the
// file, and the next successful save would write the half-done change.
class ImageJournal {
  public:
    explicit ImageJournal(DiskImage& image) : image_(image) {}

    struct Mark {
        std::size_t recordCount = 0;
        FATTable fatTable;
    };

    Mark mark() const { return {records_.size(), image_.fatTable}; }
    // Puts the bytes written since `mark` and the FAT table back. Never throws.
    void rollbackTo(const Mark& mark) noexcept;

    void writeSector(std::int64_t lba, ByteView sectorData);
    // Same chunking as DiskImage::writeCluster: the whole cluster is covered.
    void writeCluster(std::uint16_t cluster, ByteView clusterData);
    // Writes the in-memory FAT table into every FAT copy (sectors the serialised table
    // does not reach keep their contents; a short last sector is padded with zeros).
    void writeFAT();

    DiskImage& image() { return image_; }

  private:
    struct Record {
        std::int64_t offset;
        Bytes oldBytes;
    };
    DiskImage& image_;
    std::vector<Record> records_;
};

} // namespace tamberlane

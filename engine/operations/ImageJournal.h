#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/FATTable.h"

#include <cstdint>

namespace tamberlane {

// Lets an operation put the in-memory image back exactly as it was at a mark when any
// later step fails (a full directory, a failed save). Without it a failed operation
// would leave memory ahead of the file, and the next successful save would write the
// half-done change. A mark shares the image's pages, so it costs only the pages the
// operation goes on to change.
class ImageJournal {
  public:
    explicit ImageJournal(DiskImage& image) : image_(image) {}

    struct Mark {
        PagedBytes data;
        FATTable fatTable;
    };

    Mark mark() const { return {image_.data(), image_.fatTable()}; }
    // Puts the image's bytes and FAT table back as they were at `mark`. Never throws.
    void rollbackTo(const Mark& mark) noexcept;

    void writeSector(std::int64_t lba, ByteView sectorData) { image_.writeSector(lba, sectorData); }
    void writeCluster(std::uint16_t cluster, ByteView clusterData) {
        image_.writeCluster(cluster, clusterData);
    }
    void writeClusters(std::uint16_t firstCluster, std::int64_t count, ByteView bytes) {
        image_.writeClusters(firstCluster, count, bytes);
    }
    // Writes the in-memory FAT table into every FAT copy (sectors the serialised table
    // does not reach keep their contents; a short last sector is padded with zeros).
    void writeFAT();

    DiskImage& image() { return image_; }

  private:
    DiskImage& image_;
};

} // namespace tamberlane

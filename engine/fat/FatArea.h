#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/PagedBytes.h"
#include "engine/fat/FATTable.h"
#include "engine/image/BIOSParameterBlock.h"

#include <cstdint>
#include <functional>

namespace tamberlane {

// The copies of a volume's FAT: where they lie (sectors counted from the boot sector),
// how the first one decodes and how a table goes back into all of them. Every change
// writes each copy, and only the first is read; this is the one place that knows where
// they are.
class FatArea {
  public:
    explicit FatArea(const BIOSParameterBlock& bpb);

    std::int64_t firstSector() const { return firstSector_; }
    std::int64_t sectorsPerCopy() const { return sectorsPerCopy_; }
    std::int64_t copies() const { return copies_; }
    // The sector just past the last copy: where the root directory starts.
    std::int64_t endSector() const { return firstSector_ + copies_ * sectorsPerCopy_; }
    std::int64_t bytesPerCopy() const { return sectorsPerCopy_ * bytesPerSector_; }
    // Byte offset of a copy from the volume's boot sector.
    std::int64_t copyOffset(std::int64_t copy) const;

    bool contains(std::int64_t lba) const;

    // The first copy of the volume whose boot sector is at byte `volumeStart` of `data`,
    // with the entries the volume's clusters need. Throws when the copy is not whole.
    FATTable decode(const PagedBytes& data, std::int64_t volumeStart, FATType fatType) const;
    // Whether every copy holds the first one's bytes; a copy cut short never does.
    bool copiesAgree(const PagedBytes& data, std::int64_t volumeStart) const;
    // Writes `table` into every copy, a sector at a time: sectors the table does not
    // reach keep their contents.
    void write(const FATTable& table,
               const std::function<void(std::int64_t lba, ByteView bytes)>& writeSector) const;

  private:
    std::int64_t firstSector_;
    std::int64_t sectorsPerCopy_;
    std::int64_t copies_;
    std::int64_t bytesPerSector_;
    std::int64_t entryCount_;
};

} // namespace tamberlane

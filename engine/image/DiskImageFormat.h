#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/base/PagedBytes.h"
#include "engine/image/BIOSParameterBlock.h"
#include "engine/image/ImageFileReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// The containers the format table has a row for.
enum class ContainerFamily { headerless, d88, fdi, hdi, nfd, nhd, thd, dim, dcp };

// One container format. A format value is what its reader extracted from the header;
// values are immutable and shared.
class DiskImageFormat {
  public:
    virtual ~DiskImageFormat() = default;

    // `file` is the whole file (for a D88 file: from the chosen disk's start).
    virtual DiskGeometry parseGeometry(const ImageFileReader& file) const = 0;
    // Byte offset in the file at which the volume's boot sector is expected.
    virtual std::int64_t dataOffset(const ImageFileReader& file) const = 0;
    // Upper-case extension-style name of the container ("D88", "FDI", "BIN", ...).
    virtual std::string name() const = 0;
    // The container header's write-protect flag (false where the container has none).
    virtual bool isWriteProtected() const { return false; }
    // Track-and-sector containers (D88) rebuild the volume as a flat run of sectors;
    // every other container holds the volume as it is.
    virtual std::optional<Bytes> extractFlatVolume(const ImageFileReader&,
                                                   const DiskGeometry&) const {
        return std::nullopt;
    }
    // The whole file a save writes, from the bytes the image holds: those bytes
    // themselves, except where extractFlatVolume built them from the file's records
    // (`original`: the whole file as read; `diskOffset`: where the opened disk starts).
    virtual PagedBytes containerBytes(const PagedBytes& held, const PagedBytes* /*original*/,
                                      const DiskGeometry&, std::int64_t /*diskOffset*/) const {
        return held;
    }
    // For a flat volume built from records: which sectors (of the geometry's size) a
    // record holds whole, so a save can store them. Absent: every sector of the data.
    virtual std::optional<std::vector<bool>> storedSectors(const ImageFileReader&,
                                                           const DiskGeometry&) const {
        return std::nullopt;
    }
    // Sectors (numbered as storedSectors) that two records of the file claim, and those
    // whose record a dump marked unreadable. Only containers of records have either.
    struct SectorRecordFlaws {
        std::vector<std::int64_t> heldTwice;
        std::vector<std::int64_t> recordedBad;
    };
    virtual SectorRecordFlaws sectorRecordFlaws(const ImageFileReader&, const DiskGeometry&) const {
        return {};
    }
    // Boot-sector parameters the container worked out for a volume whose boot sector
    // has none; absent where the boot sector is to be read.
    virtual std::optional<BIOSParameterBlock> inferredParameters() const { return std::nullopt; }
    // Whether dataOffset is where a search of the content found a boot sector, rather
    // than where the container puts its volume.
    virtual bool volumeFoundBySearch() const { return false; }
    // The row of the format table this value was read by; what the container can hold
    // is a field of that row.
    virtual ContainerFamily family() const = 0;
};

} // namespace tamberlane

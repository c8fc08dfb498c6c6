#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/VolumeEditor.h"

#include <cstdint>
#include <memory>

namespace tamberlane {

// Changes to what a file or a sector holds, from the editors. Each is one change: on
// failure the old contents stay, in memory and in the file.
class ContentEdit {
  public:
    explicit ContentEdit(std::shared_ptr<DiskImage> image) : editor_(std::move(image)) {}

    // Replaces a file's contents and keeps its slots (8.3 name, long name, attributes);
    // the size, first cluster and date change. Returns the entry as it is now listed.
    FileEntry replaceFileContents(const FileEntry& entry, ByteView contents);

    // Writes one raw sector and saves. After a write into a FAT copy the first copy is
    // decoded again, so the next file operation works from what was written; afterwards
    // the volume is judged again: copies that now differ, or boot parameters that no
    // longer match the layout in memory, refuse every further change (changeRefusal
    // says which) until the edit is undone or, for the boot parameters, the image opened
    // again. A sector the image cannot store is refused rather than silently dropped.
    void writeRawSector(std::int64_t lba, ByteView sectorData);

  private:
    VolumeEditor editor_;
};

} // namespace tamberlane

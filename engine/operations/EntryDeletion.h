#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/BatchRunner.h"
#include "engine/operations/VolumeEditor.h"

#include <memory>
#include <vector>

namespace tamberlane {

// Entries removed from the volume, directories with their trees when `recursive`.
class EntryDeletion {
  public:
    explicit EntryDeletion(std::shared_ptr<DiskImage> image) : editor_(std::move(image)) {}

    void deleteEntry(const FileEntry& entry, bool recursive);
    // Deletes several entries and writes the image file once, with the rules of
    // FileImport::importFiles. An entry named twice, or lying inside a directory an
    // earlier item removed with its tree, is removed once and each item succeeds.
    BatchResult deleteEntries(const std::vector<FileEntry>& entries, bool recursive,
                              BatchMode mode = BatchMode::keepSucceeded);

  private:
    void deleteOne(const FileEntry& entry, bool recursive);
    void deleteContents(std::uint16_t directory, int depth);

    VolumeEditor editor_;
};

} // namespace tamberlane

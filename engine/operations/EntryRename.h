#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/LongNamePolicy.h"
#include "engine/operations/VolumeEditor.h"

#include <memory>
#include <string>

namespace tamberlane {

// New names: an entry renamed, a folder made. Each call is all or nothing, saved once.
class EntryRename {
  public:
    explicit EntryRename(std::shared_ptr<DiskImage> image) : editor_(std::move(image)) {}

    // The entry takes `newName` (NAME.EXT split at the last full stop). Where no long name
    // is written, it takes the 8.3 name and loses its long name (it would name the old one).
    void rename(const FileEntry& entry, const std::string& newName,
                LongNamePolicy policy = LongNamePolicy::automatic);
    // A new empty directory `name` in `in`.
    void createDirectory(const std::string& name, const DiskPath& in,
                         LongNamePolicy policy = LongNamePolicy::automatic);

  private:
    VolumeEditor editor_;
};

} // namespace tamberlane

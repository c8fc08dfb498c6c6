#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/LongNamePolicy.h"
#include "engine/operations/VolumeEditor.h"

#include <memory>
#include <optional>
#include <string>

namespace tamberlane {

// New names: an entry renamed, a folder made. Each call is all or nothing, saved once.
class EntryRename {
  public:
    explicit EntryRename(std::shared_ptr<DiskImage> image) : editor_(std::move(image)) {}

    // The entry takes `newName` (NAME.EXT split at the last full stop). Where no long name
    // is written, it takes the 8.3 name and loses its long name (it would name the old one).
    // Returns the name the entry is listed by now.
    std::string rename(const FileEntry& entry, const std::string& newName,
                       LongNamePolicy policy = LongNamePolicy::automatic);
    // A new empty directory `name` in `in`; returns the name it is listed by.
    std::string createDirectory(const std::string& name, const DiskPath& in,
                                LongNamePolicy policy = LongNamePolicy::automatic);
    // The 8.3 name `given` would be stored as in `in`, where `policy` writes no long name
    // there; nothing where a long name is written, or `given` can name nothing, or `in` is
    // not there. For showing while a name is typed: it changes nothing.
    std::optional<std::string> storedShortName(const std::string& given, const DiskPath& in,
                                               LongNamePolicy policy);

  private:
    VolumeEditor editor_;
};

} // namespace tamberlane

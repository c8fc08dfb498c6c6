#pragma once

#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tamberlane {

// The one way a path of names becomes a directory or an entry of the volume: each
// component picks an entry as EntryLookup::findNamed picks it (a printed raw form, the
// display name, the alias, then either ignoring case), among subdirectories when the
// path goes on below it.
class PathResolver {
  public:
    explicit PathResolver(const DiskImage& image) : image_(image) {}

    // The words a missing directory is reported in: a listing names the component, a
    // change quotes it (each as its front ends have always shown it).
    enum class Wording { listing, change };

    struct Directory {
        // As listed: printed names.
        DiskPath path;
        // Absent for the root.
        std::optional<std::uint16_t> firstCluster;
    };
    // Throws for a component that names no directory, a name that picks several entries
    // alike, and a path deeper than directories may go. `onStep` sees the first cluster of
    // each directory on the way, the last included.
    Directory directory(const DiskPath& path, Wording wording = Wording::listing,
                        const std::function<void(std::uint16_t)>& onStep = {}) const;
    // The entries of the directory a path names, with their paths.
    std::vector<FileEntry> list(const DiskPath& path) const;
    // The entry a path names; nothing for the root or when the last component names no
    // entry (a missing directory on the way throws, as directory() does).
    std::optional<FileEntry> entry(const DiskPath& path) const;

  private:
    std::vector<FileEntry> entriesOf(const Directory& directory) const;

    const DiskImage& image_;
};

} // namespace tamberlane

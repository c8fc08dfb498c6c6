#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tamberlane {

// The entries of one directory, found by its first cluster rather than by name (two
// entries may show the same name): the root when `cluster` is absent. `dirPath` is the
// directory's own path; it gives the entries their paths and the depth limit.
std::vector<FileEntry> readDirectoryEntries(const DiskImage& image, const DiskPath& dirPath,
                                            std::optional<std::uint16_t> cluster);

// One walk over a directory tree (a listing, an export) that reads each cluster at most
// once, so the walk costs as much as the volume and no more. A subdirectory whose chain
// reaches a cluster the walk has already read (a loop, or a directory cross-linked with
// one read before) is a circular-reference error naming that cluster, and is not read
// again.
class DirectoryWalk {
  public:
    explicit DirectoryWalk(const DiskImage& image);

    // The entries of one directory: the root when `cluster` is absent.
    std::vector<FileEntry> read(const DiskPath& dirPath, std::optional<std::uint16_t> cluster);

  private:
    const DiskImage& image_;
    std::vector<bool> read_;
};

} // namespace tamberlane

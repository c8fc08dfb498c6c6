#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

namespace tamberlane {

// The entries of one directory, found by its first cluster rather than by name (two
// entries may show the same name): the root when `cluster` is absent. `dirPath` is the
// directory's own path; it gives the entries their paths and the depth limit.
std::vector<FileEntry> readDirectoryEntries(const DiskImage& image, const DiskPath& dirPath,
                                            std::optional<std::uint16_t> cluster);

// Keeps a walk over the directory tree finite: a directory met twice (a loop or a
// cross-linked directory) ends the walk with a circular-reference error.
class DirectoryWalkGuard {
  public:
    void enter(std::uint16_t cluster);

  private:
    std::set<std::uint16_t> visited_;
};

} // namespace tamberlane

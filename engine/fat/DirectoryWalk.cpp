#include "engine/fat/DirectoryWalk.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryReader.h"

#include <algorithm>

namespace tamberlane {

std::vector<FileEntry> readDirectoryEntries(const DiskImage& image, const DiskPath& dirPath,
                                            std::optional<std::uint16_t> cluster) {
    std::vector<DirectoryEntry> entries;
    if (!cluster) {
        entries = DirectoryReader::readRootDirectory(image);
    } else {
        // The depth of a directory is its number of path components less one, as in
        // path resolution: a directory 65 levels down is past the limit.
        const int depth = static_cast<int>(
            std::min<std::size_t>(dirPath.components.size(), DirectoryReader::maxDepth + 1));
        entries = DirectoryReader::readSubDirectory(*cluster, image, std::max(depth - 1, 0));
    }
    return fileEntriesIn(dirPath, std::move(entries));
}

void DirectoryWalkGuard::enter(std::uint16_t cluster) {
    if (!visited_.insert(cluster).second) {
        throw DiskImageError::circularReference(cluster);
    }
}

} // namespace tamberlane

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

DirectoryWalk::DirectoryWalk(const DiskImage& image)
    : image_(image), read_(image.fatTable().entries().size(), false) {}

std::vector<FileEntry> DirectoryWalk::read(const DiskPath& dirPath,
                                           std::optional<std::uint16_t> cluster) {
    if (!cluster) {
        return fileEntriesIn(dirPath, DirectoryReader::readRootDirectory(image_));
    }
    // Counted as readDirectoryEntries counts it, so both walks stop at the same level.
    if (dirPath.components.size() > static_cast<std::size_t>(DirectoryReader::maxDepth)) {
        throw DiskImageError::directoryDepthExceeded(DirectoryReader::maxDepth);
    }
    const FATTable& fat = image_.fatTable();
    const std::size_t n = read_.size();
    const std::uint16_t bad = fat.badValue();
    const std::uint16_t maxLink = fat.maxLinkValue();
    const auto dataEnd = static_cast<std::int64_t>(image_.data().size());
    Bytes bytes;
    std::uint32_t current = *cluster;
    for (;;) {
        if (current < 2 || current >= n) {
            throw DiskImageError::invalidCluster(static_cast<std::uint16_t>(current));
        }
        if (read_[current]) {
            throw DiskImageError::circularReference(static_cast<std::uint16_t>(current));
        }
        read_[current] = true;
        const std::uint16_t next = fat.entries()[current];
        if (next == bad) {
            break;
        }
        // A cluster wholly past the image has no bytes; a hostile FAT must not make the
        // walk allocate beyond the file. Its chain is still followed for the checks.
        if (image_.addressing().clusterOffset(static_cast<std::uint16_t>(current)) < dataEnd) {
            const Bytes unit = image_.readCluster(static_cast<std::uint16_t>(current));
            bytes.insert(bytes.end(), unit.begin(), unit.end());
        }
        if (next < 2 || next > maxLink) {
            break;
        }
        current = next;
    }
    return fileEntriesIn(dirPath, DirectoryReader::parseDirectoryEntries(bytes));
}

} // namespace tamberlane

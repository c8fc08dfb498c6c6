#include "engine/fat/PathResolver.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/EntryLookup.h"

namespace tamberlane {

std::vector<FileEntry> PathResolver::entriesOf(const Directory& directory) const {
    if (directory.path.components.size() > static_cast<std::size_t>(DirectoryReader::maxDepth)) {
        throw DiskImageError::directoryDepthExceeded(DirectoryReader::maxDepth);
    }
    return fileEntriesIn(directory.path,
                         directory.firstCluster
                             ? DirectoryReader::readSubDirectory(*directory.firstCluster, image_, 0)
                             : DirectoryReader::readRootDirectory(image_));
}

PathResolver::Directory
PathResolver::directory(const DiskPath& path, Wording wording,
                        const std::function<void(std::uint16_t)>& onStep) const {
    Directory at{DiskPath::root(), std::nullopt};
    for (const std::string& component : path.components) {
        const std::vector<FileEntry> entries = entriesOf(at);
        const FileEntry* found =
            EntryLookup::findEntry(entries, component, EntryLookup::Wanted::directory);
        if (found == nullptr) {
            throw wording == Wording::listing ? DiskImageError::directoryNotListed(component)
                                              : DiskImageError::directoryNotFound(component);
        }
        at = Directory{found->path, found->directoryEntry.startCluster};
        if (onStep) {
            onStep(*at.firstCluster);
        }
    }
    return at;
}

std::vector<FileEntry> PathResolver::list(const DiskPath& path) const {
    return entriesOf(directory(path));
}

std::optional<FileEntry> PathResolver::entry(const DiskPath& path) const {
    if (path.isRoot()) {
        return std::nullopt;
    }
    const std::vector<FileEntry> entries = list(path.parent());
    const FileEntry* found = EntryLookup::findEntry(entries, path.components.back());
    return found ? std::optional<FileEntry>(*found) : std::nullopt;
}

} // namespace tamberlane

#include "cli/DeletedEntryNumbers.h"

#include "cli/CliSupport.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/FATParser.h"

#include <algorithm>

namespace tamberlane::cli {

std::vector<std::pair<std::int64_t, DeletedFileEntry>>
numberedDeletedEntries(const DiskImage& image, const DiskPath& directory) {
    if (!directory.isRoot() && !DeletedFileRecovery::resolveDirectoryCluster(directory, image)) {
        // An empty listing would look like success, and every number like a wrong one.
        throw CommandError("ディレクトリが見つかりません: " + directory.displayString());
    }
    std::vector<std::uint16_t> chain;
    if (!directory.isRoot()) {
        try {
            chain = FATParser::getClusterChain(
                *DeletedFileRecovery::resolveDirectoryCluster(directory, image), image.fatTable());
        } catch (const DiskImageError&) {
            // The listing stops at a damaged chain as well: it has no entries to number.
        }
    }
    const std::int64_t bytesPerSector = image.bpb().bytesPerSector;
    const std::int64_t bytesPerCluster = image.bytesPerCluster();
    std::vector<std::pair<std::int64_t, DeletedFileEntry>> numbered;
    for (DeletedFileEntry& entry : DeletedFileRecovery::listDeletedEntries(image, directory)) {
        const EntryLocation& at = entry.location;
        std::int64_t offset = 0;
        if (at.isRootDirectory) {
            offset = (at.sectorOrCluster - image.rootDirectoryStartSector()) * bytesPerSector +
                     at.offsetInSector;
        } else {
            const auto it = std::find(chain.begin(), chain.end(), at.sectorOrCluster);
            offset = (it - chain.begin()) * bytesPerCluster + at.offsetInSector;
        }
        numbered.emplace_back(offset / 32 + 1, std::move(entry));
    }
    return numbered;
}

} // namespace tamberlane::cli

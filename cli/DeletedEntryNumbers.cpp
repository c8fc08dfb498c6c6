#include "cli/DeletedEntryNumbers.h"

#include "cli/CliSupport.h"
#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/fat/PathResolver.h"

namespace tamberlane::cli {

std::vector<std::pair<std::int64_t, DeletedFileEntry>>
numberedDeletedEntries(const DiskImage& image, const DiskPath& directory) {
    try {
        PathResolver(image).directory(directory);
    } catch (const DiskImageError&) {
        // An empty listing would look like success, and every number like a wrong one.
        throw CommandError(
            translate("ディレクトリが見つかりません: %1$s", {directory.displayString()}));
    }
    std::vector<std::pair<std::int64_t, DeletedFileEntry>> numbered;
    for (DeletedFileEntry& entry : DeletedFileRecovery::listDeletedEntries(image, directory)) {
        numbered.emplace_back(entry.slotNumber, std::move(entry));
    }
    return numbered;
}

} // namespace tamberlane::cli

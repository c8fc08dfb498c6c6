#include "engine/operations/VolumeEditor.h"

#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/PathResolver.h"

#include <algorithm>

namespace tamberlane {

VolumeEditor::VolumeEditor(std::shared_ptr<DiskImage> image) : image_(std::move(image)) {}

DirectoryTable& VolumeEditor::directoryAt(std::optional<std::uint16_t> firstCluster) {
    std::unique_ptr<DirectoryTable>& table = tables_[firstCluster.value_or(0)];
    if (!table) {
        table = std::make_unique<DirectoryTable>(DirectoryTable::of(*image_, firstCluster));
    }
    return *table;
}

DirectoryTable& VolumeEditor::directory(const DiskPath& path,
                                        const std::function<void(std::uint16_t)>& onStep) {
    // A walk that watches its steps is not answered from memory: it must see them.
    if (!onStep) {
        if (const auto known = paths_.find(path.components); known != paths_.end()) {
            return directoryAt(known->second);
        }
    }
    const PathResolver::Directory found =
        PathResolver(*image_).directory(path, PathResolver::Wording::change, onStep);
    paths_[path.components] = found.firstCluster;
    return directoryAt(found.firstCluster);
}

bool VolumeEditor::writesLongNames(LongNamePolicy policy, const DirectoryTable& target) {
    switch (policy) {
    case LongNamePolicy::always:
        return true;
    case LongNamePolicy::never:
        return false;
    case LongNamePolicy::automatic:
        break;
    }
    return target.holdsLongName() || directoryAt(std::nullopt).holdsLongName();
}

std::optional<VolumeEditor::Placed> VolumeEditor::locate(const FileEntry& entry) {
    DirectoryTable* table = nullptr;
    try {
        table = &directory(entry.path.parent());
    } catch (const DiskImageError&) {
        return std::nullopt;
    }
    const std::optional<std::size_t> run = table->find(entry.directoryEntry);
    if (!run || DirectorySlot(table->slotBytes(*run)).fileSize() != entry.directoryEntry.size) {
        return std::nullopt;
    }
    return Placed{table, *run};
}

std::vector<std::uint16_t> VolumeEditor::allocate(std::int64_t count, std::int64_t requiredBytes) {
    FATTable& fat = image_->fatTable();
    try {
        return fat.allocate(count);
    } catch (const DiskImageError& error) {
        if (error.kind() != DiskImageError::Kind::diskFull) {
            throw;
        }
        throw DiskImageError::diskFull(requiredBytes, fat.freeClusterCount() *
                                                          image_->addressing().bytesPerCluster());
    }
}

void VolumeEditor::freeChain(std::uint16_t start) {
    if (start < 2) {
        return;
    }
    image_->fatTable().free(start);
    tables_.erase(start);
}

std::int64_t VolumeEditor::bytesHeldBy(std::uint16_t start) const {
    if (start < 2) {
        return 0;
    }
    try {
        return static_cast<std::int64_t>(
                   FATParser::getClusterChain(start, image_->fatTable()).size()) *
               image_->addressing().bytesPerCluster();
    } catch (const DiskImageError&) {
        // A broken chain cannot be freed either; the free then fails and undoes it all.
        return 0;
    }
}

Bytes VolumeEditor::newDirectoryCluster(std::uint16_t cluster, std::uint16_t parent) const {
    Bytes contents(static_cast<std::size_t>(image_->addressing().bytesPerCluster()), 0);
    DirectorySlot::setDotEntry(DirectorySlot::Mutable(contents).first(DirectorySlot::size), 1,
                               cluster);
    DirectorySlot::setDotEntry(
        DirectorySlot::Mutable(contents).subspan(DirectorySlot::size, DirectorySlot::size), 2,
        parent);
    return contents;
}

void VolumeEditor::forget() {
    tables_.clear();
    paths_.clear();
}

BatchResult VolumeEditor::batch(const std::vector<std::string>& names,
                                const std::function<void(std::size_t)>& apply,
                                const BatchOptions& options) {
    forget();
    return runBatch(*image_, names, apply, options, [this] { forget(); });
}

} // namespace tamberlane

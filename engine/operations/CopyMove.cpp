#include "engine/operations/FileOperationService.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/FileAttributes.h"
#include "engine/operations/ImageJournal.h"

#include <algorithm>
#include <string_view>

namespace tamberlane {

namespace {

using Reason = DiskImageError::Reason;

DiskImageError staleEntry(const FileEntry& entry) {
    return DiskImageError::headerParseFailure("エントリが見つかりません: " +
                                              entry.directoryEntry.displayName())
        .withReason(Reason::staleEntry);
}

constexpr std::string_view dotName = ".          ";
constexpr std::string_view dotDotName = "..         ";

bool slotNameIs(ByteView slot, std::string_view name11) {
    return std::equal(name11.begin(), name11.end(), slot.begin());
}

bool slotIsDotEntry(ByteView slot) {
    return slotNameIs(slot, dotName) || slotNameIs(slot, dotDotName);
}

} // namespace

DiskImageError FileOperationService::clashOf(const FileEntry& entry,
                                             const DirectoryEntry& existing) {
    const std::string name = entry.directoryEntry.displayName();
    return DiskImageError::nameClash(name, nameIfOther(existing.displayName(), name));
}

std::optional<FileOperationService::Placed>
FileOperationService::findPlaced(const FileEntry& entry) const {
    const DiskPath parent = entry.path.parent();
    Placed placed;
    try {
        placed.directoryCluster = parent.isRoot() ? 0 : findDirectoryCluster(parent);
        placed.storage =
            parent.isRoot() ? storageOfRoot() : storageOfCluster(placed.directoryCluster);
    } catch (const DiskImageError&) {
        return std::nullopt;
    }
    std::optional<SlotRef> ref = locateEntry(placed.storage, entry.directoryEntry);
    if (!ref || DirectorySlot(ref->slot).fileSize() != entry.directoryEntry.size) {
        return std::nullopt;
    }
    placed.longName = longNameRun(placed.storage, *ref);
    placed.ref = std::move(*ref);
    return placed;
}

bool FileOperationService::entryStillExists(const FileEntry& entry) const {
    return findPlaced(entry).has_value();
}

FileOperationService::Placed FileOperationService::placeOrThrow(const FileEntry& entry) const {
    std::optional<Placed> placed = findPlaced(entry);
    if (!placed) {
        throw staleEntry(entry);
    }
    return std::move(*placed);
}

std::pair<std::uint16_t, DirectoryStorage>
FileOperationService::resolveTarget(const FileEntry& entry, const DiskPath& to) const {
    const DirectoryEntry& moved = entry.directoryEntry;
    const std::uint16_t cluster = walkPath(to, [&moved](std::uint16_t step) {
        // A tree put inside itself would be its own ancestor: a loop no walk ends.
        if (moved.isDirectory() && step == moved.startCluster) {
            throw DiskImageError::headerParseFailure("ディレクトリをそれ自身の中へは置けません: " +
                                                     moved.displayName())
                .withReason(Reason::intoItself);
        }
    });
    return {cluster, to.isRoot() ? storageOfRoot() : storageOfCluster(cluster)};
}

std::uint16_t FileOperationService::copyFileData(ImageJournal& journal, std::uint16_t start,
                                                 std::uint32_t size, const std::stop_token& stop) {
    if (size == 0) {
        return 0;
    }
    DiskImage& image = *diskImage_;
    const std::int64_t bytesPerCluster = image.bytesPerCluster();
    const std::int64_t needed = (static_cast<std::int64_t>(size) + bytesPerCluster - 1) /
                                std::max<std::int64_t>(bytesPerCluster, 1);
    const std::vector<std::uint16_t> source = FATParser::getClusterChain(start, image.fatTable());
    if (static_cast<std::int64_t>(source.size()) < needed) {
        throw DiskImageError::invalidCluster(start);
    }
    const std::vector<std::uint16_t> copy = allocateClusters(needed, size);
    for (std::size_t i = 0; i < copy.size(); ++i) {
        throwIfStopped(stop);
        journal.writeCluster(copy[i], image.readCluster(source[i]));
    }
    return copy.empty() ? 0 : copy.front();
}

std::uint16_t FileOperationService::copyDirectoryTree(ImageJournal& journal, std::uint16_t start,
                                                      std::uint16_t newParent, int depth,
                                                      const std::stop_token& stop) {
    if (depth >= DirectoryReader::maxDepth) {
        throw DiskImageError::directoryDepthExceeded(DirectoryReader::maxDepth);
    }
    // Read before anything is written, so the copy never sees itself.
    const std::vector<SlotRun> children = slotRuns(storageOfCluster(start));
    const std::uint16_t cluster = allocateClusters(1, diskImage_->bytesPerCluster()).front();
    journal.writeCluster(cluster, newDirectoryCluster(cluster, newParent));
    for (const SlotRun& child : children) {
        const Bytes& slot = child.entry.slot;
        if (slotIsDotEntry(slot) || DirectorySlot(slot).isVolumeLabel()) {
            continue;
        }
        std::vector<Bytes> slots = child.bytes();
        DirectorySlot::setStartCluster(slots.back(),
                                       copyContents(journal, slot, cluster, depth + 1, stop));
        addSlots(journal, storageOfCluster(cluster), slots);
    }
    return cluster;
}

std::uint16_t FileOperationService::copyContents(ImageJournal& journal, ByteView slot,
                                                 std::uint16_t newParent, int depth,
                                                 const std::stop_token& stop) {
    const DirectorySlot source(slot);
    if (source.isDirectory()) {
        return copyDirectoryTree(journal, source.startCluster(), newParent, depth, stop);
    }
    return copyFileData(journal, source.startCluster(), source.fileSize(), stop);
}

std::optional<FileOperationService::Transfer>
FileOperationService::prepareTransfer(const FileEntry& entry, const DiskPath& to) const {
    diskImage_->checkWritable();
    Placed from = placeOrThrow(entry);
    auto [toCluster, target] = resolveTarget(entry, to);
    // Into the directory it is in: the entry is already where it is asked to be.
    if (toCluster == from.directoryCluster) {
        return std::nullopt;
    }
    // The entry keeps its slots, so it is listed under both of its names there.
    const DirectoryEntry& source = entry.directoryEntry;
    std::vector<DirectoryEntry> clashes = namesakes(target, source.rawName, source.rawExtension,
                                                    {source.displayName(), source.shortName()});
    return Transfer{std::move(from), toCluster, std::move(target), std::move(clashes)};
}

void FileOperationService::copyOne(ImageJournal& journal, const FileEntry& entry,
                                   const DiskPath& to, const BatchOptions& options) {
    const std::optional<Transfer> transfer = prepareTransfer(entry, to);
    if (!transfer) {
        return;
    }
    if (!transfer->clashes.empty()) {
        // Only one file replaces one file: a second namesake would stay listed beside it.
        const std::optional<SlotRef> replaced =
            options.overwrite && transfer->clashes.size() == 1 &&
                    !entry.directoryEntry.isDirectory() && !transfer->clashes.front().isDirectory()
                ? locateEntry(transfer->target, transfer->clashes.front())
                : std::nullopt;
        if (!replaced) {
            throw clashOf(entry, transfer->clashes.front());
        }
        removeEntryAt(journal, transfer->target, *replaced);
    }
    const Placed& from = transfer->from;
    std::vector<Bytes> slots = SlotRun{from.longName, from.ref}.bytes();
    DirectorySlot::setStartCluster(
        slots.back(), copyContents(journal, from.ref.slot, transfer->toCluster, 0, options.stop));
    addSlots(journal, transfer->target, slots);
}

void FileOperationService::pointParentAt(ImageJournal& journal, std::uint16_t directory,
                                         std::uint16_t parent) const {
    const DirectoryStorage storage = storageOfCluster(directory);
    for (const SlotRun& run : slotRuns(storage)) {
        if (slotNameIs(run.entry.slot, dotDotName)) {
            Bytes unit = readUnit(storage, run.entry.unitIndex);
            DirectorySlot::setStartCluster(slotIn(unit, run.entry.offset), parent);
            writeUnit(journal, storage, run.entry.unitIndex, unit);
            return;
        }
    }
}

void FileOperationService::moveOne(ImageJournal& journal, const FileEntry& entry,
                                   const DiskPath& to) {
    const std::optional<Transfer> transfer = prepareTransfer(entry, to);
    if (!transfer) {
        return;
    }
    if (!transfer->clashes.empty()) {
        throw clashOf(entry, transfer->clashes.front());
    }
    const Placed& from = transfer->from;
    addSlots(journal, transfer->target, SlotRun{from.longName, from.ref}.bytes());
    for (const SlotRef& ref : from.longName) {
        setSlotFirstByte(journal, from.storage, ref, DirectorySlot::deletedMark);
    }
    setSlotFirstByte(journal, from.storage, from.ref, DirectorySlot::deletedMark);
    const DirectoryEntry& source = entry.directoryEntry;
    if (source.isDirectory() && source.startCluster >= 2) {
        pointParentAt(journal, source.startCluster, transfer->toCluster);
    }
}

BatchResult FileOperationService::copyEntries(const std::vector<FileEntry>& entries,
                                              const DiskPath& to, const BatchOptions& options) {
    return runBatch(
        displayNames(entries),
        [&](ImageJournal& journal, std::size_t i) { copyOne(journal, entries[i], to, options); },
        options);
}

BatchResult FileOperationService::moveEntries(const std::vector<FileEntry>& entries,
                                              const DiskPath& to, const BatchOptions& options) {
    return runBatch(
        displayNames(entries),
        [&](ImageJournal& journal, std::size_t i) { moveOne(journal, entries[i], to); }, options);
}

} // namespace tamberlane

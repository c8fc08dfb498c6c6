#include "engine/operations/FileOperationService.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/FileAttributes.h"
#include "engine/operations/VolumeTransaction.h"

#include <chrono>

namespace tamberlane {

namespace {

DiskImageError entryNotFound(const FileEntry& entry) {
    return DiskImageError::headerParseFailure("エントリが見つかりません: " +
                                              entry.directoryEntry.displayName())
        .withReason(DiskImageError::Reason::entryNotFound);
}

} // namespace

void FileOperationService::deleteDirectoryContents(ImageJournal& journal,
                                                   std::uint16_t startCluster, int depth) {
    if (depth >= DirectoryReader::maxDepth) {
        throw DiskImageError::directoryDepthExceeded(DirectoryReader::maxDepth);
    }
    DiskImage& image = *diskImage_;
    const DirectoryStorage storage = storageOfCluster(startCluster);
    storage.forEachSlot(image, [&](SlotLocation at, const DirectorySlot& slot) {
        const DirectoryEntryParseResult parsed = DirectoryEntryParser::parse(slot.bytes());
        if (parsed.kind == DirectoryEntryParseResult::Kind::endOfDirectory) {
            return DirectoryStorage::Walk::stop;
        }
        if (parsed.kind == DirectoryEntryParseResult::Kind::skip) {
            return DirectoryStorage::Walk::next;
        }
        const DirectoryEntry& e = parsed.entry;
        if (e.name == "." || e.name == "..") {
            return DirectoryStorage::Walk::next;
        }
        if (e.isDirectory()) {
            deleteDirectoryContents(journal, e.startCluster, depth + 1);
        }
        setSlotFirstByte(journal, storage, SlotRef{at.unitIndex, at.offset, {}},
                         DirectorySlot::deletedMark);
        if (e.startCluster >= 2) {
            image.fatTable().free(e.startCluster);
        }
        return DirectoryStorage::Walk::next;
    });
}

void FileOperationService::deleteOne(ImageJournal& journal, const FileEntry& entry,
                                     bool recursive) {
    DiskImage& image = *diskImage_;
    image.checkWritable();
    const DirectoryStorage storage = storageOfDirectory(entry.path.parent());
    // A listing can be older than the disk: freeing a chain no slot names any more
    // would free another file's clusters.
    const std::optional<SlotRef> ref = locateEntry(storage, entry.directoryEntry);
    if (!ref) {
        throw entryNotFound(entry);
    }
    const std::uint16_t start = entry.directoryEntry.startCluster;
    if (entry.directoryEntry.isDirectory() && recursive) {
        deleteDirectoryContents(journal, start, 0);
    }
    deleteLongNameSlots(journal, storage, *ref);
    setSlotFirstByte(journal, storage, *ref, DirectorySlot::deletedMark);
    if (start >= 2) {
        image.fatTable().free(start);
    }
}

void FileOperationService::deleteEntry(const FileEntry& entry, bool recursive) {
    changeVolume(*diskImage_, FATWrite::yes,
                 [&](ImageJournal& journal) { deleteOne(journal, entry, recursive); });
}

BatchResult FileOperationService::deleteEntries(const std::vector<FileEntry>& entries,
                                                bool recursive, BatchMode mode) {
    BatchOptions options;
    options.mode = mode;
    return runBatch(
        displayNames(entries),
        [&](ImageJournal& journal, std::size_t i) { deleteOne(journal, entries[i], recursive); },
        options);
}

void FileOperationService::renameEntry(const FileEntry& entry, const std::string& newName,
                                       const std::string& newExtension) {
    changeVolume(*diskImage_, FATWrite::no, [&](ImageJournal& journal) {
        refuseReservedName(newName, newExtension);
        const auto [name83, ext83] = shortNameKey(newName, newExtension);
        const DirectoryStorage storage = storageOfDirectory(entry.path.parent());
        const std::optional<SlotRef> ref = locateEntry(storage, entry.directoryEntry);
        if (!ref) {
            throw entryNotFound(entry);
        }
        // The renamed entry loses its long name and is listed under the short one.
        const std::vector<DirectoryEntry> clashes =
            namesakes(storage, name83, ext83, {listedShortName(name83, ext83)});
        if (!clashes.empty()) {
            const std::string typed = newExtension.empty() ? newName : newName + "." + newExtension;
            throw DiskImageError::nameClash(newName + "." + newExtension,
                                            nameIfOther(clashes.front().displayName(), typed));
        }
        deleteLongNameSlots(journal, storage, *ref);
        Bytes unit = readUnit(storage, ref->unitIndex);
        DirectorySlot::setShortName(slotIn(unit, ref->offset), name83, ext83);
        writeUnit(journal, storage, ref->unitIndex, unit);
    });
}

void FileOperationService::createDirectory(const std::string& name, const DiskPath& in) {
    changeVolume(*diskImage_, FATWrite::yes, [&](ImageJournal& journal) {
        refuseReservedName(name, "");
        const auto [name83, ext83] = shortNameKey(name, "");
        const std::uint16_t parentCluster = in.isRoot() ? 0 : findDirectoryCluster(in);
        const DirectoryStorage storage =
            in.isRoot() ? storageOfRoot() : storageOfCluster(parentCluster);
        if (!namesakes(storage, name83, ext83, {listedShortName(name83, ext83)}).empty()) {
            throw DiskImageError::directoryExists(name);
        }
        const std::uint16_t cluster = allocateClusters(1, diskImage_->bytesPerCluster()).front();
        journal.writeCluster(cluster, newDirectoryCluster(cluster, parentCluster));

        DirectoryEntry entry;
        entry.id = newEntryId();
        entry.name = name;
        entry.attributes.rawValue = FileAttributes::directory;
        entry.modifiedDate =
            std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        entry.startCluster = cluster;
        entry.rawName = name83;
        entry.rawExtension = ext83;
        addEntry(journal, storage, DirectoryEntryParser::serialize(entry));
    });
}

} // namespace tamberlane

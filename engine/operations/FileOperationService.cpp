#include "engine/operations/FileOperationService.h"

#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/LFNParser.h"
#include "engine/operations/VolumeTransaction.h"

#include <algorithm>

namespace tamberlane {

bool BatchResult::allSucceeded() const {
    return std::all_of(items.begin(), items.end(),
                       [](const BatchItemResult& i) { return i.succeeded(); });
}

std::vector<std::string> BatchResult::failedNames() const {
    std::vector<std::string> names;
    for (const BatchItemResult& item : items) {
        if (!item.succeeded()) {
            names.push_back(item.name);
        }
    }
    return names;
}

FileOperationService::SlotRef FileOperationService::refTo(SlotLocation at,
                                                          const DirectorySlot& slot) {
    return SlotRef{at.unitIndex, at.offset, Bytes(slot.bytes().begin(), slot.bytes().end())};
}

DirectorySlot::Mutable FileOperationService::slotIn(Bytes& unit, std::size_t offset) {
    return DirectorySlot::Mutable(unit).subspan(offset, DirectorySlot::size);
}

FileOperationService::FileOperationService(std::shared_ptr<DiskImage> diskImage)
    : diskImage_(std::move(diskImage)) {}

std::pair<std::string, std::string>
FileOperationService::splitHostFileName(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    // Full stops alone (".", "..") are a name, so that it can be refused as one.
    if (dot == std::string::npos || dot == 0 ||
        fileName.find_first_not_of('.') == std::string::npos) {
        return {fileName, ""};
    }
    return {fileName.substr(0, dot), fileName.substr(dot + 1)};
}

void FileOperationService::refuseReservedName(const std::string& name,
                                              const std::string& extension) {
    // Every directory already holds "." and ".."; made into "_" instead, the entry would
    // not be the name the user asked for.
    if (extension.empty() && (name == "." || name == "..")) {
        throw DiskImageError::encodingError("この名前は使用できません: " + name)
            .withReason(DiskImageError::Reason::reservedName);
    }
}

std::string FileOperationService::listedShortName(ByteView name83, ByteView ext83) {
    Bytes slot(DirectorySlot::size, 0);
    DirectorySlot::setShortName(slot, name83, ext83);
    DirectorySlot::setAttributes(slot, FileAttributes::archive);
    return DirectoryEntryParser::parse(slot).entry.shortName();
}

std::string FileOperationService::nameIfOther(const std::string& entryName,
                                              const std::string& name) {
    return EntryLookup::sameIgnoringCase(entryName, name) ? std::string() : entryName;
}

std::pair<Bytes, Bytes> FileOperationService::shortNameKey(const std::string& name,
                                                           const std::string& extension) {
    // An all-blank name field reads as no entry at all to most FAT drivers.
    return DirectoryEntryParser::convertTo83Name(name.empty() ? "_" : name, extension);
}

// Directory storage ---------------------------------------------------------------

DirectoryStorage FileOperationService::storageOfRoot() const {
    return DirectoryStorage::root(*diskImage_);
}

DirectoryStorage FileOperationService::storageOfCluster(std::uint16_t dirCluster) const {
    return DirectoryStorage::ofCluster(*diskImage_, dirCluster);
}

DirectoryStorage FileOperationService::storageOfDirectory(const DiskPath& path) const {
    if (path.isRoot()) {
        return storageOfRoot();
    }
    return storageOfCluster(findDirectoryCluster(path));
}

Bytes FileOperationService::readUnit(const DirectoryStorage& storage, std::size_t index) const {
    return storage.readUnit(*diskImage_, index);
}

void FileOperationService::writeUnit(ImageJournal& journal, const DirectoryStorage& storage,
                                     std::size_t index, ByteView bytes) const {
    if (storage.isRoot()) {
        journal.writeSector(storage.unit(index), bytes);
    } else {
        journal.writeCluster(static_cast<std::uint16_t>(storage.unit(index)), bytes);
    }
}

std::uint16_t FileOperationService::findSubdirectory(const DirectoryStorage& storage,
                                                     const std::string& name) const {
    // Parsed as directory reading parses it, so a path made of listed names (long
    // names included) always resolves, and to the entry the listing showed.
    const std::vector<DirectoryEntry> entries =
        DirectoryReader::parseDirectoryEntries(storage.readAll(*diskImage_));
    if (const DirectoryEntry* found =
            EntryLookup::findEntry(entries, name, EntryLookup::Wanted::directory)) {
        return found->startCluster;
    }
    throw DiskImageError::headerParseFailure("ディレクトリ '" + name + "' が見つかりません")
        .withReason(DiskImageError::Reason::directoryNotFound);
}

std::uint16_t FileOperationService::findDirectoryCluster(const DiskPath& path) const {
    if (path.isRoot()) {
        throw DiskImageError::headerParseFailure(
            "ルートディレクトリのクラスタは直接アクセスできません");
    }
    return walkPath(path, [](std::uint16_t) {});
}

std::uint16_t
FileOperationService::walkPath(const DiskPath& path,
                               const std::function<void(std::uint16_t)>& onStep) const {
    std::uint16_t cluster = 0;
    for (const std::string& component : path.components) {
        cluster =
            findSubdirectory(cluster == 0 ? storageOfRoot() : storageOfCluster(cluster), component);
        onStep(cluster);
    }
    return cluster;
}

std::uint16_t FileOperationService::findEntryInRootDirectory(const std::string& name) const {
    return findSubdirectory(storageOfRoot(), name);
}

std::uint16_t FileOperationService::findEntryInSubdirectory(const std::string& name,
                                                            std::uint16_t dirCluster) const {
    return findSubdirectory(storageOfCluster(dirCluster), name);
}

std::optional<FileOperationService::SlotRef>
FileOperationService::findByKey(const DirectoryStorage& storage, ByteView name,
                                ByteView ext) const {
    std::optional<SlotRef> found;
    storage.forEachSlot(*diskImage_, [&](SlotLocation at, const DirectorySlot& slot) {
        if (slot.isEnd()) {
            return DirectoryStorage::Walk::stop;
        }
        if (slot.isDeleted() || !slot.hasShortName(name, ext)) {
            return DirectoryStorage::Walk::next;
        }
        found = refTo(at, slot);
        return DirectoryStorage::Walk::stop;
    });
    return found;
}

bool FileOperationService::entryExistsInRootDirectory(ByteView name, ByteView ext) const {
    return findByKey(storageOfRoot(), name, ext).has_value();
}

bool FileOperationService::entryExistsInSubdirectory(ByteView name, ByteView ext,
                                                     std::uint16_t dirCluster) const {
    try {
        return findByKey(storageOfCluster(dirCluster), name, ext).has_value();
    } catch (const DiskImageError&) {
        return false;
    }
}

std::vector<DirectoryEntry>
FileOperationService::namesakes(const DirectoryStorage& storage, ByteView name83, ByteView ext83,
                                const std::vector<std::string>& names) const {
    const DirectoryNameIndex index = DirectoryNameIndex::of(*diskImage_, storage);
    std::vector<DirectoryEntry> found;
    for (std::size_t i : index.namesakes(name83, ext83, names)) {
        found.push_back(index[i].entry);
    }
    return found;
}

FileOperationService::SlotRef FileOperationService::refAt(const DirectoryStorage& storage,
                                                          SlotLocation at) const {
    const Bytes unit = readUnit(storage, at.unitIndex);
    return refTo(at, DirectorySlot(ByteView(unit).subspan(at.offset, DirectorySlot::size)));
}

std::optional<FileOperationService::SlotRef>
FileOperationService::locateEntry(const DirectoryStorage& storage,
                                  const DirectoryEntry& entry) const {
    std::optional<SlotRef> found;
    storage.forEachSlot(*diskImage_, [&](SlotLocation at, const DirectorySlot& slot) {
        if (slot.isEnd()) {
            // Nothing past the end mark is listed, so nothing there is the entry.
            return DirectoryStorage::Walk::stop;
        }
        if (slot.isDeleted() || slot.isLongName() || slot.isVolumeLabel() ||
            !slot.hasShortName(entry.rawName, entry.rawExtension) ||
            slot.startCluster() != entry.startCluster) {
            return DirectoryStorage::Walk::next;
        }
        found = refTo(at, slot);
        return DirectoryStorage::Walk::stop;
    });
    return found;
}

void FileOperationService::setSlotFirstByte(ImageJournal& journal, const DirectoryStorage& storage,
                                            const SlotRef& ref, std::uint8_t value) const {
    // Read afresh: earlier writes into the same sector or cluster must stay.
    Bytes unit = readUnit(storage, ref.unitIndex);
    DirectorySlot::setFirstByte(slotIn(unit, ref.offset), value);
    writeUnit(journal, storage, ref.unitIndex, unit);
}

std::vector<Bytes> FileOperationService::SlotRun::bytes() const {
    std::vector<Bytes> out;
    for (const SlotRef& ref : longName) {
        out.push_back(ref.slot);
    }
    out.push_back(entry.slot);
    return out;
}

std::vector<FileOperationService::SlotRun>
FileOperationService::slotRuns(const DirectoryStorage& storage) const {
    std::vector<SlotRun> runs;
    std::vector<SlotRef> pending;
    storage.forEachSlot(*diskImage_, [&](SlotLocation at, const DirectorySlot& slot) {
        if (slot.isEnd()) {
            return DirectoryStorage::Walk::stop;
        }
        if (slot.isDeleted()) {
            pending.clear();
        } else if (slot.isLongName()) {
            pending.push_back(refTo(at, slot));
        } else {
            const std::uint8_t checksum = LFNParser::calculateChecksum(slot.shortName());
            // Slots of another name (a stale checksum) are not this entry's.
            if (!std::all_of(pending.begin(), pending.end(), [checksum](const SlotRef& r) {
                    return DirectorySlot(r.slot).longNameChecksum() == checksum;
                })) {
                pending.clear();
            }
            runs.push_back(SlotRun{std::move(pending), refTo(at, slot)});
            pending.clear();
        }
        return DirectoryStorage::Walk::next;
    });
    return runs;
}

std::vector<FileOperationService::SlotRef>
FileOperationService::longNameRun(const DirectoryStorage& storage, const SlotRef& ref) const {
    for (SlotRun& run : slotRuns(storage)) {
        if (run.entry.unitIndex == ref.unitIndex && run.entry.offset == ref.offset) {
            return std::move(run.longName);
        }
    }
    return {};
}

void FileOperationService::deleteLongNameSlots(ImageJournal& journal,
                                               const DirectoryStorage& storage,
                                               const SlotRef& ref) const {
    for (const SlotRef& r : longNameRun(storage, ref)) {
        setSlotFirstByte(journal, storage, r, DirectorySlot::deletedMark);
    }
}

void FileOperationService::removeEntryAt(ImageJournal& journal, const DirectoryStorage& storage,
                                         const SlotRef& ref) const {
    const std::uint16_t start = DirectorySlot(ref.slot).startCluster();
    if (start >= 2) {
        diskImage_->fatTable().free(start);
    }
    deleteLongNameSlots(journal, storage, ref);
    setSlotFirstByte(journal, storage, ref, DirectorySlot::deletedMark);
}

std::optional<FileOperationService::FreeRun>
FileOperationService::findFreeRun(const DirectoryStorage& storage, std::size_t count) const {
    FreeRun run;
    bool pastEnd = false;
    bool complete = false;
    std::size_t checkedUnit = storage.unitCount();
    bool storable = false;
    storage.forEachSlot(*diskImage_, [&](SlotLocation at, const DirectorySlot& slot) {
        if (at.unitIndex != checkedUnit) {
            checkedUnit = at.unitIndex;
            storable = storage.unitIsStorable(*diskImage_, at.unitIndex);
        }
        if (complete) {
            // The run took the end mark: the slot after it must end the directory now,
            // or a stale entry behind the old mark would come back to life.
            if (storable && !slot.isEnd()) {
                run.newEnd = refTo(at, slot);
            }
            return DirectoryStorage::Walk::stop;
        }
        // A slot the image cannot store would vanish on write: never claim one. Past
        // the end mark, a run beyond such a unit would be hidden behind the mark.
        if (!storable) {
            run.slots.clear();
            return pastEnd ? DirectoryStorage::Walk::stop : DirectoryStorage::Walk::next;
        }
        // Everything after the end mark is free, whatever stale bytes it holds.
        pastEnd = pastEnd || slot.isEnd();
        if (!pastEnd && !slot.isDeleted()) {
            run.slots.clear();
            return DirectoryStorage::Walk::next;
        }
        run.slots.push_back(SlotRef{at.unitIndex, at.offset, {}});
        complete = run.slots.size() == count;
        // A run that took the end mark looks at one slot more: the one that becomes it.
        return complete && !pastEnd ? DirectoryStorage::Walk::stop : DirectoryStorage::Walk::next;
    });
    if (!complete) {
        return std::nullopt;
    }
    return run;
}

std::vector<std::uint16_t>
FileOperationService::allocateClusters(std::int64_t count, std::int64_t requiredBytes) const {
    FATTable& fat = diskImage_->fatTable();
    try {
        return fat.allocate(count);
    } catch (const DiskImageError& error) {
        if (error.kind() != DiskImageError::Kind::diskFull) {
            throw;
        }
        // allocate counts clusters; the user is told bytes.
        throw DiskImageError::diskFull(requiredBytes,
                                       fat.freeClusterCount() * diskImage_->bytesPerCluster());
    }
}

void FileOperationService::growDirectory(ImageJournal& journal, DirectoryStorage& storage) const {
    const std::int64_t bytesPerCluster = diskImage_->bytesPerCluster();
    // FAT drivers number a directory's slots with 16 bits.
    constexpr std::int64_t maxSlots = 65536;
    const auto grownSlots =
        static_cast<std::int64_t>(storage.unitCount() + 1) * bytesPerCluster / 32;
    if (storage.unitCount() == 0 || bytesPerCluster < 32 || grownSlots > maxSlots) {
        throw DiskImageError::diskFull(32, 0);
    }
    const std::uint16_t cluster = allocateClusters(1, bytesPerCluster).front();
    diskImage_->fatTable().setEntry(static_cast<std::size_t>(storage.units().back()), cluster);
    // Zero-filled, so the slots after the last entry read as the end of the directory.
    journal.writeCluster(cluster, Bytes(static_cast<std::size_t>(bytesPerCluster), 0));
    storage.appendCluster(cluster);
}

void FileOperationService::addSlots(ImageJournal& journal, DirectoryStorage storage,
                                    const std::vector<Bytes>& slots) const {
    std::optional<FreeRun> run = findFreeRun(storage, slots.size());
    while (!run) {
        // The root directory has a fixed size; only subdirectories grow.
        if (storage.isRoot()) {
            throw DiskImageError::diskFull(32, 0).withReason(
                DiskImageError::Reason::rootDirectoryFull);
        }
        growDirectory(journal, storage);
        run = findFreeRun(storage, slots.size());
    }
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const SlotRef& at = run->slots[k];
        Bytes unit = readUnit(storage, at.unitIndex);
        std::copy_n(slots[k].begin(), DirectorySlot::size, slotIn(unit, at.offset).begin());
        writeUnit(journal, storage, at.unitIndex, unit);
    }
    if (run->newEnd) {
        setSlotFirstByte(journal, storage, *run->newEnd, DirectorySlot::endMark);
    }
}

void FileOperationService::addEntry(ImageJournal& journal, const DirectoryStorage& storage,
                                    ByteView entryData) const {
    addSlots(journal, storage, {Bytes(entryData.begin(), entryData.begin() + DirectorySlot::size)});
}

Bytes FileOperationService::newDirectoryCluster(std::uint16_t cluster,
                                                std::uint16_t parentCluster) const {
    Bytes contents(static_cast<std::size_t>(diskImage_->bytesPerCluster()), 0);
    const auto dotSlot = [&contents](std::size_t offset, const char* name, std::uint16_t target) {
        const DirectorySlot::Mutable slot = slotIn(contents, offset);
        std::fill_n(slot.begin(), DirectorySlot::nameLength + DirectorySlot::extensionLength, 0x20);
        for (std::size_t i = 0; name[i] != '\0'; ++i) {
            slot[i] = static_cast<std::uint8_t>(name[i]);
        }
        DirectorySlot::setAttributes(slot, FileAttributes::directory);
        DirectorySlot::setStartCluster(slot, target);
    };
    dotSlot(0, ".", cluster);
    dotSlot(DirectorySlot::size, "..", parentCluster);
    return contents;
}

void FileOperationService::throwIfStopped(const std::stop_token& stop) {
    if (stop.stop_requested()) {
        throw Cancelled{};
    }
}

BatchResult FileOperationService::runBatch(const std::vector<std::string>& names,
                                           const BatchStep& apply, const BatchOptions& options) {
    BatchResult result;
    VolumeTransaction transaction(*diskImage_);
    ImageJournal& journal = transaction.journal();
    bool changed = false;
    try {
        for (std::size_t i = 0; i < names.size(); ++i) {
            throwIfStopped(options.stop);
            BatchItemResult item{names[i], std::nullopt};
            const ImageJournal::Mark before = journal.mark();
            try {
                apply(journal, i);
                changed = true;
            } catch (const DiskImageError& error) {
                journal.rollbackTo(before);
                item.error = error;
            }
            result.items.push_back(std::move(item));
            if (options.progress) {
                options.progress(static_cast<double>(i + 1) / static_cast<double>(names.size()));
            }
        }
        throwIfStopped(options.stop);
        const bool discard = options.mode == BatchMode::tryOnly ||
                             (options.mode == BatchMode::allOrNothing && !result.allSucceeded());
        if (discard) {
            transaction.rollback();
            result.discarded = true;
        } else if (changed) {
            transaction.commit(FATWrite::yes);
        }
    } catch (const Cancelled&) {
        transaction.rollback();
        result.items.clear();
        result.cancelled = true;
    } catch (const DiskImageError& error) {
        // The save failed: the batch is undone as a whole, so nothing of it was kept.
        transaction.rollback();
        for (BatchItemResult& item : result.items) {
            if (item.succeeded()) {
                item.error = error;
            }
        }
    }
    return result;
}

} // namespace tamberlane

#include "engine/operations/FileOperationService.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/LFNParser.h"
#include "engine/operations/ImageJournal.h"

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

FileOperationService::FileOperationService(std::shared_ptr<DiskImage> diskImage)
    : diskImage_(std::move(diskImage)) {}

std::pair<std::string, std::string>
FileOperationService::splitHostFileName(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return {fileName, ""};
    }
    return {fileName.substr(0, dot), fileName.substr(dot + 1)};
}

std::pair<Bytes, Bytes> FileOperationService::shortNameKey(const std::string& name,
                                                           const std::string& extension) {
    // An all-blank name field reads as no entry at all to most FAT drivers.
    return DirectoryEntryParser::convertTo83Name(name.empty() ? "_" : name, extension);
}

// Directory storage ---------------------------------------------------------------

FileOperationService::DirectoryStorage FileOperationService::storageOfRoot() const {
    const DiskImage& image = *diskImage_;
    DirectoryStorage storage;
    storage.isRoot = true;
    const std::int64_t start = image.rootDirectoryStartSector();
    for (std::int64_t s = 0; s < image.rootDirectorySectors(); ++s) {
        storage.units.push_back(start + s);
    }
    return storage;
}

FileOperationService::DirectoryStorage
FileOperationService::storageOfCluster(std::uint16_t dirCluster) const {
    DirectoryStorage storage;
    storage.isRoot = false;
    for (std::uint16_t c : FATParser::getClusterChain(dirCluster, diskImage_->fatTable)) {
        storage.units.push_back(c);
    }
    return storage;
}

FileOperationService::DirectoryStorage
FileOperationService::storageOfDirectory(const DiskPath& path) const {
    if (path.isRoot()) {
        return storageOfRoot();
    }
    return storageOfCluster(findDirectoryCluster(path));
}

Bytes FileOperationService::readUnit(const DirectoryStorage& storage, std::size_t index) const {
    if (storage.isRoot) {
        return diskImage_->readSector(storage.units[index]);
    }
    return diskImage_->readCluster(static_cast<std::uint16_t>(storage.units[index]));
}

Bytes FileOperationService::readAll(const DirectoryStorage& storage) const {
    Bytes out;
    for (std::size_t i = 0; i < storage.units.size(); ++i) {
        const Bytes unit = readUnit(storage, i);
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

bool FileOperationService::unitIsStorable(const DirectoryStorage& storage,
                                          std::size_t index) const {
    const DiskImage& image = *diskImage_;
    if (!storage.isRoot) {
        return image.clusterIsStorable(static_cast<std::uint16_t>(storage.units[index]));
    }
    return image.sectorIsStorable(storage.units[index]);
}

void FileOperationService::writeUnit(ImageJournal& journal, const DirectoryStorage& storage,
                                     std::size_t index, ByteView bytes) const {
    if (storage.isRoot) {
        journal.writeSector(storage.units[index], bytes);
    } else {
        journal.writeCluster(static_cast<std::uint16_t>(storage.units[index]), bytes);
    }
}

std::uint16_t FileOperationService::findSubdirectory(const DirectoryStorage& storage,
                                                     const std::string& name) const {
    // Parsed as directory reading parses it, so a path made of listed names (long
    // names included) always resolves.
    for (const DirectoryEntry& entry : DirectoryReader::parseDirectoryEntries(readAll(storage))) {
        if (entry.isDirectory() && DirectoryReader::namesMatch(entry.displayName(), name)) {
            return entry.startCluster;
        }
    }
    throw DiskImageError::headerParseFailure("ディレクトリ '" + name + "' が見つかりません");
}

std::uint16_t FileOperationService::findDirectoryCluster(const DiskPath& path) const {
    if (path.isRoot()) {
        throw DiskImageError::headerParseFailure(
            "ルートディレクトリのクラスタは直接アクセスできません");
    }
    std::uint16_t cluster = 0;
    for (const std::string& component : path.components) {
        cluster = cluster == 0 ? findEntryInRootDirectory(component)
                               : findEntryInSubdirectory(component, cluster);
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
    for (std::size_t i = 0; i < storage.units.size(); ++i) {
        const Bytes unit = readUnit(storage, i);
        for (std::size_t o = 0; o + 32 <= unit.size(); o += 32) {
            const std::uint8_t first = unit[o];
            if (first == 0xE5) {
                continue;
            }
            if (first == 0x00) {
                return std::nullopt;
            }
            if (std::equal(name.begin(), name.end(),
                           unit.begin() + static_cast<std::ptrdiff_t>(o)) &&
                std::equal(ext.begin(), ext.end(),
                           unit.begin() + static_cast<std::ptrdiff_t>(o + 8))) {
                return SlotRef{i, o,
                               Bytes(unit.begin() + static_cast<std::ptrdiff_t>(o),
                                     unit.begin() + static_cast<std::ptrdiff_t>(o + 32))};
            }
        }
    }
    return std::nullopt;
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

std::optional<FileOperationService::SlotRef>
FileOperationService::locateEntry(const DirectoryStorage& storage,
                                  const DirectoryEntry& entry) const {
    for (std::size_t i = 0; i < storage.units.size(); ++i) {
        const Bytes unit = readUnit(storage, i);
        for (std::size_t o = 0; o + 32 <= unit.size(); o += 32) {
            const std::uint8_t first = unit[o];
            const std::uint8_t attributes = unit[o + 11];
            if (first == 0x00) {
                // Nothing past the end mark is listed, so nothing there is the entry.
                return std::nullopt;
            }
            if (first == 0xE5 || attributes == FileAttributes::longNameSlot ||
                (attributes & FileAttributes::volumeLabel) != 0) {
                continue;
            }
            const auto at = unit.begin() + static_cast<std::ptrdiff_t>(o);
            if (entry.rawName.size() == 8 && entry.rawExtension.size() == 3 &&
                std::equal(entry.rawName.begin(), entry.rawName.end(), at) &&
                std::equal(entry.rawExtension.begin(), entry.rawExtension.end(), at + 8) &&
                readU16LE(unit, o + 26) == entry.startCluster) {
                return SlotRef{i, o, Bytes(at, at + 32)};
            }
        }
    }
    return std::nullopt;
}

void FileOperationService::setSlotFirstByte(ImageJournal& journal, const DirectoryStorage& storage,
                                            const SlotRef& ref, std::uint8_t value) const {
    // Read afresh: earlier writes into the same sector or cluster must stay.
    Bytes unit = readUnit(storage, ref.unitIndex);
    unit[ref.offset] = value;
    writeUnit(journal, storage, ref.unitIndex, unit);
}

void FileOperationService::deleteLongNameSlots(ImageJournal& journal,
                                               const DirectoryStorage& storage,
                                               const SlotRef& ref) const {
    // The run of live long-name slots directly in front of the entry.
    std::vector<SlotRef> run;
    for (std::size_t i = 0; i <= ref.unitIndex && i < storage.units.size(); ++i) {
        const Bytes unit = readUnit(storage, i);
        const std::size_t end = i == ref.unitIndex ? ref.offset : unit.size();
        for (std::size_t o = 0; o + 32 <= end; o += 32) {
            if (unit[o] != 0xE5 && unit[o] != 0x00 &&
                unit[o + 11] == FileAttributes::longNameSlot) {
                run.push_back(SlotRef{i, o, {unit[o + 13]}});
            } else {
                run.clear();
            }
        }
    }
    const Bytes unit = readUnit(storage, ref.unitIndex);
    const std::uint8_t checksum =
        LFNParser::calculateChecksum(ByteView(unit).subspan(ref.offset, 11));
    // Slots of another name (a stale checksum) are not this entry's to delete.
    if (!std::all_of(run.begin(), run.end(),
                     [checksum](const SlotRef& r) { return r.slot[0] == checksum; })) {
        return;
    }
    for (const SlotRef& r : run) {
        setSlotFirstByte(journal, storage, r, 0xE5);
    }
}

void FileOperationService::addEntry(ImageJournal& journal, const DirectoryStorage& storage,
                                    ByteView entryData) const {
    for (std::size_t i = 0; i < storage.units.size(); ++i) {
        // A slot the image cannot store would vanish on write: never claim one.
        if (!unitIsStorable(storage, i)) {
            continue;
        }
        Bytes unit = readUnit(storage, i);
        for (std::size_t o = 0; o + 32 <= unit.size(); o += 32) {
            if (unit[o] == 0x00 || unit[o] == 0xE5) {
                std::copy_n(entryData.begin(), 32, unit.begin() + static_cast<std::ptrdiff_t>(o));
                writeUnit(journal, storage, i, unit);
                return;
            }
        }
    }
    throw DiskImageError::diskFull(32, 0);
}

void FileOperationService::commit(ImageJournal& journal, bool writeFAT) {
    if (writeFAT) {
        journal.writeFAT();
    }
    diskImage_->saveToFile();
}

BatchResult FileOperationService::runBatch(const std::vector<std::string>& names,
                                           const BatchStep& apply) {
    BatchResult result;
    ImageJournal journal(*diskImage_);
    const ImageJournal::Mark start = journal.mark();
    bool changed = false;
    try {
        for (std::size_t i = 0; i < names.size(); ++i) {
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
        }
        if (changed) {
            commit(journal, true);
        }
    } catch (const DiskImageError& error) {
        // The save failed: the batch is undone as a whole, so nothing of it was kept.
        journal.rollbackTo(start);
        for (BatchItemResult& item : result.items) {
            if (item.succeeded()) {
                item.error = error;
            }
        }
    } catch (...) {
        journal.rollbackTo(start);
        throw;
    }
    return result;
}

} // namespace tamberlane

#include "engine/operations/DeletedFileRecovery.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/DirectoryTable.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/NewEntryName.h"
#include "engine/fat/PathResolver.h"
#include "engine/operations/VolumeTransaction.h"

#include <algorithm>

namespace tamberlane::DeletedFileRecovery {

namespace {

std::string decodeWithoutSpaces(ByteView bytes) {
    std::string text = ShiftJISConverter::toUnicode(bytes);
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

std::string joinName(ByteView name, ByteView ext) {
    const std::string n = decodeWithoutSpaces(name);
    const std::string e = decodeWithoutSpaces(ext);
    return e.empty() ? n : n + "." + e;
}

bool clusterIsFree(const DiskImage& image, std::int64_t cluster) {
    // Clusters the image cannot store are never free, whatever the FAT says.
    return image.fatTable().isAllocatable(cluster) &&
           image.fatTable().entries()[static_cast<std::size_t>(cluster)] == 0;
}

} // namespace

std::optional<DeletedFileEntry> parseDeletedEntry(ByteView entryData, const DiskImage& image) {
    const std::int64_t bytesPerCluster = image.addressing().bytesPerCluster();
    if (entryData.size() < DirectorySlot::size) {
        return std::nullopt;
    }
    const DirectorySlot slot(entryData);
    if (!slot.isDeleted() || slot.isLongName() || slot.isVolumeLabel()) {
        return std::nullopt;
    }
    DeletedFileEntry entry;
    entry.id = newEntryId();
    Bytes name(slot.name().begin(), slot.name().end());
    // The deleted mark took the first character; "?" stands for it until a restore.
    name[0] = 0x3F;
    entry.displayName = joinName(name, slot.extension());
    entry.rawEntryData.assign(slot.bytes().begin(), slot.bytes().end());
    entry.startCluster = slot.startCluster();
    entry.size = slot.fileSize();
    entry.attributes.rawValue = slot.attributes();
    entry.modifiedDate = DirectoryEntryParser::decodeFATDateTime(slot.date(), slot.time());

    if (entry.isDirectory()) {
        // A directory's size is 0 but it still needs its first cluster: restored
        // without one, its cluster would be handed out again and overwritten.
        entry.requiredClusters = 1;
        entry.freeClusters = clusterIsFree(image, entry.startCluster) ? 1 : 0;
        entry.recoverability = static_cast<int>(entry.freeClusters * 100);
        return entry;
    }
    if (entry.size == 0) {
        entry.recoverability = 100;
        return entry;
    }
    entry.requiredClusters =
        bytesPerCluster > 0
            ? (static_cast<std::int64_t>(entry.size) + bytesPerCluster - 1) / bytesPerCluster
            : 0;
    if (entry.requiredClusters < 1) {
        entry.recoverability = 100;
        return entry;
    }
    // Data without a first cluster has nowhere to be found: restored, it would be an
    // entry whose size no chain backs.
    if (entry.startCluster < 2) {
        return entry;
    }
    const std::int64_t end =
        std::min<std::int64_t>(entry.startCluster + entry.requiredClusters,
                               static_cast<std::int64_t>(image.fatTable().entries().size()));
    for (std::int64_t c = entry.startCluster; c < end; ++c) {
        if (clusterIsFree(image, c)) {
            ++entry.freeClusters;
        }
    }
    entry.recoverability = static_cast<int>(entry.freeClusters * 100 / entry.requiredClusters);
    return entry;
}

namespace {

// The storage of the directory a path names; nothing when it cannot be read.
std::optional<DirectoryStorage> storageOf(const DiskImage& image, const DiskPath& path) {
    if (path.isRoot()) {
        // The root must lie inside the image whole, as a listing requires.
        const std::int64_t bytesPerSector = image.layout().bpb.bytesPerSector;
        const std::int64_t start = image.layout().dataOffset +
                                   image.addressing().rootDirectoryStartSector() * bytesPerSector;
        if (bytesPerSector == 0 ||
            !rangeFits(start, static_cast<std::int64_t>(image.layout().bpb.rootEntryCount) * 32,
                       static_cast<std::int64_t>(image.data().size()))) {
            return std::nullopt;
        }
        return DirectoryStorage::root(image);
    }
    try {
        const auto directory = PathResolver(image).directory(path);
        return DirectoryStorage::ofCluster(image, *directory.firstCluster);
    } catch (const DiskImageError&) {
        return std::nullopt;
    }
}

} // namespace

std::vector<DeletedFileEntry> listDeletedEntries(const DiskImage& image, const DiskPath& path) {
    std::vector<DeletedFileEntry> entries;
    try {
        const std::optional<DirectoryStorage> storage = storageOf(image, path);
        if (!storage) {
            return entries;
        }
        storage->forEachSlot(image, [&](SlotIndex at, const DirectorySlot& slot) {
            if (auto entry = parseDeletedEntry(slot.bytes(), image)) {
                entry->slot = at;
                entry->slotNumber = storage->slotNumber(image, at);
                entries.push_back(std::move(*entry));
            }
            return DirectoryStorage::Walk::next;
        });
    } catch (const DiskImageError&) {
        // A damaged chain ends the listing; what was found so far stays.
    }
    return entries;
}

std::variant<std::uint8_t, std::string> validateRestore(const DeletedFileEntry& target,
                                                        const std::string& firstCharText,
                                                        const DiskImage& image) {
    if (firstCharText.empty()) {
        return std::string("先頭文字を入力してください");
    }
    const auto first = static_cast<std::uint8_t>(firstCharText[0]);
    // One character, never cut to one: what the user typed is what the name gets. A
    // byte a short name may not hold would leave an entry disk checkers reject.
    if (firstCharText.size() != 1 || first > 0x7E ||
        !DirectoryEntryParser::isValidShortNameByte(first)) {
        return std::string("先頭文字はASCII表示可能文字（0x20〜0x7E）を入力してください");
    }
    if (image.layout().isWriteProtected || image.layout().isReadOnly) {
        return std::string("ディスクイメージは読み取り専用です");
    }
    if (target.recoverability != 100 && target.startCluster < 2) {
        return DiskImageError::invalidCluster(target.startCluster).errorDescription();
    }
    if (target.recoverability != 100) {
        return "クラスタチェーンに使用中のクラスタが" +
               std::to_string(target.requiredClusters - target.freeClusters) +
               "個含まれるため、復元できません";
    }
    // A short name with a lower-case letter is invalid on FAT.
    return static_cast<std::uint8_t>(first >= 'a' && first <= 'z' ? first - 'a' + 'A' : first);
}

namespace {

// The slot to restore as it is now; throws when the listing no longer describes it.
Bytes checkedSlot(const DiskImage& image, const DirectoryStorage& storage,
                  const DeletedFileEntry& target) {
    // The listing may be older than the disk: only the very slot that was listed, still
    // deleted, is brought back.
    std::optional<Bytes> slot;
    if (target.slot.unitIndex < storage.unitCount() &&
        storage.unitIsStorable(image, target.slot.unitIndex)) {
        const Bytes unit = storage.readUnit(image, target.slot.unitIndex);
        if (rangeFits(static_cast<std::int64_t>(target.slot.offset), DirectorySlot::size,
                      static_cast<std::int64_t>(unit.size()))) {
            const auto at = unit.begin() + static_cast<std::ptrdiff_t>(target.slot.offset);
            slot = Bytes(at, at + DirectorySlot::size);
        }
    }
    if (!slot || target.rawEntryData.size() != DirectorySlot::size ||
        !DirectorySlot(*slot).isDeleted() ||
        !std::equal(slot->begin() + 1, slot->end(), target.rawEntryData.begin() + 1)) {
        throw DiskImageError::entryNotFound(target.displayName);
    }
    return *slot;
}

// The slot judged again on the FAT as it is now: linking a cluster that is in use would
// cross-link two files.
DeletedFileEntry recoverableNow(const DiskImage& image, const DeletedFileEntry& target,
                                ByteView slot) {
    const std::optional<DeletedFileEntry> now = parseDeletedEntry(slot, image);
    if (!now || now->recoverability != 100) {
        std::uint16_t used = target.startCluster;
        for (std::int64_t i = 0; now && i < now->requiredClusters; ++i) {
            if (!clusterIsFree(image, target.startCluster + i)) {
                used = static_cast<std::uint16_t>(target.startCluster + i);
                break;
            }
        }
        throw DiskImageError::invalidCluster(used);
    }
    return *now;
}

// A live entry the restored one would be confused with: the same raw name, or one
// listed as the restored entry will be (the rule every new name of a directory obeys).
void checkNoNamesake(DiskImage& image, const DiskPath& directory, ByteView slotBytes,
                     std::uint8_t firstByte) {
    const DirectorySlot slot(slotBytes);
    Bytes restoredName(slot.name().begin(), slot.name().end());
    restoredName[0] = firstByte;
    const ByteView restoredExt = slot.extension();
    const std::string listed = NewEntryName::listedShortName(restoredName, restoredExt);
    const DirectoryTable table =
        DirectoryTable::of(image, PathResolver(image).directory(directory).firstCluster);
    if (!table.namesakes(restoredName, restoredExt, {listed}).empty()) {
        throw DiskImageError::nameClash(joinName(restoredName, restoredExt));
    }
}

// Links the clusters the file occupied, in order, as the deleted slot suggests them.
void relinkChain(FATTable& fat, std::uint16_t startCluster, std::int64_t required) {
    if (startCluster < 2) {
        return;
    }
    for (std::int64_t i = 0; i < required; ++i) {
        const std::int64_t c = startCluster + i;
        if (c >= static_cast<std::int64_t>(fat.entries().size())) {
            break;
        }
        fat.setEntry(static_cast<std::size_t>(c),
                     i + 1 < required ? static_cast<std::uint16_t>(c + 1) : fat.endOfChainValue());
    }
}

} // namespace

void restore(DiskImage& image, const DiskPath& directory, const DeletedFileEntry& target,
             std::uint8_t firstByte) {
    if (firstByte >= 'a' && firstByte <= 'z') {
        firstByte = static_cast<std::uint8_t>(firstByte - 'a' + 'A');
    }
    changeVolume(image, FATWrite::yes, [&](ImageJournal&) {
        const std::optional<DirectoryStorage> storage = storageOf(image, directory);
        if (!storage) {
            throw DiskImageError::entryNotFound(target.displayName);
        }
        const Bytes slot = checkedSlot(image, *storage, target);
        const DeletedFileEntry now = recoverableNow(image, target, slot);
        checkNoNamesake(image, directory, slot, firstByte);
        Bytes unit = storage->readUnit(image, target.slot.unitIndex);
        DirectorySlot::setFirstByte(DirectorySlot::Mutable(unit).subspan(target.slot.offset),
                                    firstByte);
        storage->writeUnit(image, target.slot.unitIndex, unit);
        relinkChain(image.fatTable(), target.startCluster, now.requiredClusters);
    });
}

} // namespace tamberlane::DeletedFileRecovery

#include "engine/operations/DeletedFileRecovery.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/FATParser.h"
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

// The bytes of the slot as they are now, or nothing when they cannot be read whole.
std::optional<Bytes> readSlot(const DiskImage& image, const EntryLocation& location) {
    if (location.offsetInSector < 0) {
        return std::nullopt;
    }
    Bytes unit;
    if (location.isRootDirectory) {
        if (!image.sectorIsStorable(location.sectorOrCluster)) {
            return std::nullopt;
        }
        unit = image.readSector(location.sectorOrCluster);
    } else {
        if (location.sectorOrCluster < 2 || location.sectorOrCluster > 0xFFFF ||
            !image.clusterIsStorable(static_cast<std::uint16_t>(location.sectorOrCluster))) {
            return std::nullopt;
        }
        unit = image.readCluster(static_cast<std::uint16_t>(location.sectorOrCluster));
    }
    if (!rangeFits(location.offsetInSector, 32, static_cast<std::int64_t>(unit.size()))) {
        return std::nullopt;
    }
    const auto at = unit.begin() + static_cast<std::ptrdiff_t>(location.offsetInSector);
    return Bytes(at, at + 32);
}

} // namespace

std::optional<DeletedFileEntry> parseDeletedEntry(ByteView entryData, std::int64_t bytesPerCluster,
                                                  const DiskImage& image,
                                                  const EntryLocation& location) {
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
    entry.location = location;

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

std::optional<std::uint16_t> resolveDirectoryCluster(const DiskPath& path, const DiskImage& image) {
    if (path.isRoot()) {
        return std::nullopt;
    }
    try {
        return DirectoryReader::resolveDirectoryCluster(path, image, 0);
    } catch (const DiskImageError&) {
        return std::nullopt;
    }
}

std::vector<DeletedFileEntry> listDeletedEntries(const DiskImage& image, const DiskPath& path) {
    std::vector<DeletedFileEntry> entries;
    const std::int64_t bytesPerCluster = image.bytesPerCluster();
    try {
        std::optional<DirectoryStorage> storage;
        // The root holds exactly its entry count of slots; the rest of its last sector
        // is not part of it.
        std::int64_t slotLimit = INT64_MAX;
        if (path.isRoot()) {
            const std::int64_t bytesPerSector = image.bpb().bytesPerSector;
            const std::int64_t start =
                image.dataOffset() + image.rootDirectoryStartSector() * bytesPerSector;
            slotLimit = static_cast<std::int64_t>(image.bpb().rootEntryCount);
            if (bytesPerSector == 0 ||
                !rangeFits(start, slotLimit * 32, static_cast<std::int64_t>(image.data().size()))) {
                return entries;
            }
            storage = DirectoryStorage::root(image);
        } else {
            const std::optional<std::uint16_t> cluster = resolveDirectoryCluster(path, image);
            if (!cluster) {
                return entries;
            }
            storage = DirectoryStorage::ofCluster(image, *cluster);
        }
        std::int64_t index = 0;
        storage->forEachSlot(image, [&](SlotLocation at, const DirectorySlot& slot) {
            if (index++ >= slotLimit) {
                return DirectoryStorage::Walk::stop;
            }
            const EntryLocation location{storage->isRoot(), storage->unit(at.unitIndex),
                                         static_cast<std::int64_t>(at.offset)};
            if (auto entry = parseDeletedEntry(slot.bytes(), bytesPerCluster, image, location)) {
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
    if (image.isWriteProtected() || image.isReadOnly()) {
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
Bytes checkedSlot(const DiskImage& image, const DeletedFileEntry& target) {
    // The listing may be older than the disk: only the very slot that was listed, still
    // deleted, is brought back.
    const std::optional<Bytes> slot = readSlot(image, target.location);
    if (!slot || target.rawEntryData.size() != DirectorySlot::size ||
        !DirectorySlot(*slot).isDeleted() ||
        !std::equal(slot->begin() + 1, slot->end(), target.rawEntryData.begin() + 1)) {
        throw DiskImageError::headerParseFailure("エントリが見つかりません: " + target.displayName)
            .withReason(DiskImageError::Reason::entryNotFound);
    }
    return *slot;
}

// The slot judged again on the FAT as it is now: linking a cluster that is in use would
// cross-link two files.
DeletedFileEntry recoverableNow(const DiskImage& image, const DeletedFileEntry& target,
                                ByteView slot) {
    const std::optional<DeletedFileEntry> now =
        parseDeletedEntry(slot, image.bytesPerCluster(), image, target.location);
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

void checkNoLiveNamesake(const DiskImage& image, const DiskPath& directory, ByteView slotBytes,
                         std::uint8_t firstByte) {
    const DirectorySlot slot(slotBytes);
    Bytes restoredName(slot.name().begin(), slot.name().end());
    restoredName[0] = firstByte;
    const ByteView restoredExt = slot.extension();
    for (const DirectoryEntry& live : DirectoryReader::listDirectory(image, directory)) {
        if (live.rawName == restoredName &&
            std::equal(restoredExt.begin(), restoredExt.end(), live.rawExtension.begin(),
                       live.rawExtension.end())) {
            throw DiskImageError::nameClash(joinName(restoredName, restoredExt));
        }
    }
}

void writeFirstByte(DiskImage& image, ImageJournal& journal, const EntryLocation& at,
                    std::uint8_t firstByte) {
    const auto offset = static_cast<std::size_t>(at.offsetInSector);
    if (at.isRootDirectory) {
        Bytes sector = image.readSector(at.sectorOrCluster);
        DirectorySlot::setFirstByte(DirectorySlot::Mutable(sector).subspan(offset), firstByte);
        journal.writeSector(at.sectorOrCluster, sector);
    } else {
        const auto cluster = static_cast<std::uint16_t>(at.sectorOrCluster);
        Bytes bytes = image.readCluster(cluster);
        DirectorySlot::setFirstByte(DirectorySlot::Mutable(bytes).subspan(offset), firstByte);
        journal.writeCluster(cluster, bytes);
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
    changeVolume(image, FATWrite::yes, [&](ImageJournal& journal) {
        const Bytes slot = checkedSlot(image, target);
        const DeletedFileEntry now = recoverableNow(image, target, slot);
        checkNoLiveNamesake(image, directory, slot, firstByte);
        writeFirstByte(image, journal, target.location, firstByte);
        relinkChain(image.fatTable(), target.startCluster, now.requiredClusters);
    });
}

} // namespace tamberlane::DeletedFileRecovery

#include "engine/operations/DeletedFileRecovery.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/ShiftJIS.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/base/Translation.h"
#include "engine/fat/DeletedLongName.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/DirectoryTable.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/LFNParser.h"
#include "engine/fat/NewEntryName.h"
#include "engine/fat/PathResolver.h"
#include "engine/operations/VolumeTransaction.h"

#include <algorithm>
#include <map>
#include <utility>

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

// A byte only the second byte of a two-byte character can be: when the deleted mark took
// the first byte of such a character, its second byte stands alone at byte 1.
bool isOrphanTrailByte(std::uint8_t byte) {
    return (byte >= 0x80 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The short name with "?" for what the deleted mark took: the first character, and with
// a two-byte character the second byte it leaves behind.
std::string shortNameWithLostStart(const DirectorySlot& slot) {
    const ByteView name = slot.name();
    if (isOrphanTrailByte(name[1])) {
        return "?" + joinName(name.subspan(2), slot.extension());
    }
    Bytes shown(name.begin(), name.end());
    shown[0] = '?';
    return joinName(shown, slot.extension());
}

// The first byte as an entry stores it: 0xE5 would mark it deleted again.
std::uint8_t storedFirstByte(std::uint8_t byte) {
    if (byte >= 'a' && byte <= 'z') {
        // A short name with a lower-case letter is invalid on FAT.
        return static_cast<std::uint8_t>(byte - 'a' + 'A');
    }
    return byte == DirectorySlot::deletedMark ? DirectorySlot::stoodForDeletedMark : byte;
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
    entry.shortName = shortNameWithLostStart(slot);
    entry.displayName = entry.shortName;
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

// The deleted long-name slots right in front of a deleted entry, on-disk order.
using LongNameTrail = std::vector<std::pair<SlotIndex, Bytes>>;

// Calls visit(location, slot, trail) for each deleted short slot of the directory, in
// order, until it returns Walk::stop. The trail keeps one slot more than a name can take,
// so a run too long for one name is never taken for one.
template <typename Visit>
void forEachDeletedSlot(const DiskImage& image, const DirectoryStorage& storage, Visit&& visit) {
    LongNameTrail trail;
    storage.forEachSlot(image, [&](SlotIndex at, const DirectorySlot& slot) {
        if (slot.isDeleted() && slot.isLongName()) {
            trail.emplace_back(at, Bytes(slot.bytes().begin(), slot.bytes().end()));
            if (trail.size() > DeletedLongName::maxSlots + 1) {
                trail.erase(trail.begin());
            }
            return DirectoryStorage::Walk::next;
        }
        const auto walk =
            slot.isDeleted() ? visit(at, slot, std::as_const(trail)) : DirectoryStorage::Walk::next;
        trail.clear();
        return walk;
    });
}

std::optional<RecoveredLongName> recoverLongName(const LongNameTrail& trail,
                                                 const DirectorySlot& slot) {
    std::vector<ByteView> slots;
    for (const auto& [at, bytes] : trail) {
        slots.emplace_back(bytes);
    }
    return DeletedLongName::recover(slots, slot.bytes());
}

std::vector<SlotIndex> locationsOf(const LongNameTrail& trail) {
    std::vector<SlotIndex> locations;
    for (const auto& [at, bytes] : trail) {
        locations.push_back(at);
    }
    return locations;
}

} // namespace

std::vector<DeletedFileEntry> listDeletedEntries(const DiskImage& image, const DiskPath& path) {
    std::vector<DeletedFileEntry> entries;
    try {
        const std::optional<DirectoryStorage> storage = storageOf(image, path);
        if (!storage) {
            return entries;
        }
        forEachDeletedSlot(
            image, *storage,
            [&](SlotIndex at, const DirectorySlot& slot, const LongNameTrail& trail) {
                if (auto entry = parseDeletedEntry(slot.bytes(), image)) {
                    entry->slot = at;
                    entry->slotNumber = storage->slotNumber(image, at);
                    if (auto found = recoverLongName(trail, slot)) {
                        entry->displayName = found->name;
                        entry->longName = std::move(found->name);
                        entry->recoveredFirstByte = found->firstByte;
                        entry->longNameSlots = locationsOf(trail);
                    }
                    entries.push_back(std::move(*entry));
                }
                return DirectoryStorage::Walk::next;
            });
    } catch (const DiskImageError&) {
        // A damaged chain ends the listing; what was found so far stays.
    }
    return entries;
}

std::string recoveredFirstCharacter(const DeletedFileEntry& target) {
    if (!target.recoveredFirstByte || target.rawEntryData.size() < 2) {
        return {};
    }
    const std::uint8_t first = *target.recoveredFirstByte == DirectorySlot::stoodForDeletedMark
                                   ? DirectorySlot::deletedMark
                                   : *target.recoveredFirstByte;
    Bytes character = {first};
    if (isShiftJISLeadByte(first)) {
        character.push_back(target.rawEntryData[1]);
    }
    return ShiftJISConverter::decodeStrict(character).value_or(std::string());
}

namespace {

// The byte a typed first character puts back, or why it cannot.
std::variant<std::uint8_t, std::string> typedFirstByte(const DeletedFileEntry& target,
                                                       const std::string& text) {
    const auto first = static_cast<std::uint8_t>(text[0]);
    // One character, never cut to one: what the user typed is what the name gets. A
    // byte a short name may not hold would leave an entry disk checkers reject.
    if (text.size() == 1 && first <= 0x7E && DirectoryEntryParser::isValidShortNameByte(first)) {
        return storedFirstByte(first);
    }
    // Of a two-byte character the deleted mark took the first byte only: the second is
    // still there, and a character that does not end in it is not the lost one.
    const std::optional<Bytes> encoded = ShiftJISConverter::encodeStrict(text);
    if (encoded && encoded->size() == 2 && isShiftJISLeadByte((*encoded)[0])) {
        if (target.rawEntryData.size() < 2 || (*encoded)[1] != target.rawEntryData[1]) {
            return translate("この文字は元の名前の2バイト目と一致しません: %1$s", {text});
        }
        return storedFirstByte((*encoded)[0]);
    }
    return std::string(translate("先頭文字はASCII表示可能文字（0x20〜0x7E）を入力してください"));
}

bool bringsLongNameBack(const DeletedFileEntry& target, LongNamePolicy policy) {
    return policy != LongNamePolicy::never && target.longName && target.recoveredFirstByte;
}

} // namespace

std::variant<std::uint8_t, std::string> validateRestore(const DeletedFileEntry& target,
                                                        const std::string& firstCharText,
                                                        const DiskImage& image,
                                                        LongNamePolicy policy) {
    std::variant<std::uint8_t, std::string> firstByte;
    if (bringsLongNameBack(target, policy) &&
        (firstCharText.empty() || firstCharText == recoveredFirstCharacter(target))) {
        firstByte = *target.recoveredFirstByte;
    } else if (firstCharText.empty()) {
        return std::string(translate("先頭文字を入力してください"));
    } else {
        firstByte = typedFirstByte(target, firstCharText);
        if (std::holds_alternative<std::string>(firstByte)) {
            return firstByte;
        }
    }
    if (image.layout().isWriteProtected || image.layout().isReadOnly) {
        return std::string(translate("ディスクイメージは読み取り専用です"));
    }
    if (target.recoverability != 100 && target.startCluster < 2) {
        return DiskImageError::invalidCluster(target.startCluster).errorDescription();
    }
    if (target.recoverability != 100) {
        const std::int64_t inUse = target.requiredClusters - target.freeClusters;
        return translatePlural(
            "クラスタチェーンに使用中のクラスタが%1$s個含まれるため、復元できません",
            "クラスタチェーンに使用中のクラスタが%1$s個含まれるため、復元できません",
            static_cast<std::uint64_t>(inUse), {inUse});
    }
    return firstByte;
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
                     std::uint8_t firstByte, const std::optional<std::string>& longName) {
    const DirectorySlot slot(slotBytes);
    Bytes restoredName(slot.name().begin(), slot.name().end());
    restoredName[0] = firstByte;
    const ByteView restoredExt = slot.extension();
    std::vector<std::string> names = {NewEntryName::listedShortName(restoredName, restoredExt)};
    if (longName) {
        names.push_back(*longName);
    }
    const DirectoryTable table =
        DirectoryTable::of(image, PathResolver(image).directory(directory).firstCluster);
    if (!table.namesakes(restoredName, restoredExt, names).empty()) {
        throw DiskImageError::nameClash(longName ? *longName : names.front());
    }
}

// The listed long-name slots as they are now; throws when they no longer hold the name.
void checkLongNameSlots(const DiskImage& image, const DirectoryStorage& storage,
                        const DeletedFileEntry& target) {
    bool same = false;
    forEachDeletedSlot(image, storage,
                       [&](SlotIndex at, const DirectorySlot& slot, const LongNameTrail& trail) {
                           if (at != target.slot) {
                               return DirectoryStorage::Walk::next;
                           }
                           const auto found = recoverLongName(trail, slot);
                           same = found && found->name == target.longName &&
                                  locationsOf(trail) == target.longNameSlots;
                           return DirectoryStorage::Walk::stop;
                       });
    if (!same) {
        throw DiskImageError::staleEntry(target.displayName);
    }
}

// Puts back the entry's first byte and, with `longNameSlots`, their order bytes (1
// nearest the entry, the farthest flagged last) and the checksum of the alias restored.
void writeBack(DiskImage& image, const DirectoryStorage& storage, SlotIndex entrySlot,
               std::uint8_t firstByte, const std::vector<SlotIndex>& longNameSlots) {
    std::map<std::size_t, Bytes> units;
    const auto slotAt = [&](SlotIndex at) {
        auto unit = units.find(at.unitIndex);
        if (unit == units.end()) {
            unit = units.emplace(at.unitIndex, storage.readUnit(image, at.unitIndex)).first;
        }
        return DirectorySlot::Mutable(unit->second).subspan(at.offset, DirectorySlot::size);
    };
    const DirectorySlot::Mutable entry = slotAt(entrySlot);
    DirectorySlot::setFirstByte(entry, firstByte);
    const std::uint8_t checksum = LFNParser::calculateChecksum(DirectorySlot(entry).shortName());
    for (std::size_t i = 0; i < longNameSlots.size(); ++i) {
        const DirectorySlot::Mutable slot = slotAt(longNameSlots[i]);
        const auto order = static_cast<std::uint8_t>(longNameSlots.size() - i);
        DirectorySlot::setFirstByte(
            slot,
            i == 0 ? static_cast<std::uint8_t>(order | DirectorySlot::lastLongNameSlot) : order);
        DirectorySlot::setLongNameChecksum(slot, checksum);
    }
    for (const auto& [index, bytes] : units) {
        storage.writeUnit(image, index, bytes);
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
             std::uint8_t firstByte, LongNamePolicy policy) {
    firstByte = storedFirstByte(firstByte);
    const bool withLongName = bringsLongNameBack(target, policy);
    changeVolume(image, FATWrite::yes, [&](ImageJournal&) {
        const std::optional<DirectoryStorage> storage = storageOf(image, directory);
        if (!storage) {
            throw DiskImageError::entryNotFound(target.displayName);
        }
        const Bytes slot = checkedSlot(image, *storage, target);
        const DeletedFileEntry now = recoverableNow(image, target, slot);
        if (withLongName) {
            checkLongNameSlots(image, *storage, target);
        }
        checkNoNamesake(image, directory, slot, firstByte,
                        withLongName ? target.longName : std::nullopt);
        writeBack(image, *storage, target.slot, firstByte,
                  withLongName ? target.longNameSlots : std::vector<SlotIndex>{});
        relinkChain(image.fatTable(), target.startCluster, now.requiredClusters);
    });
}

} // namespace tamberlane::DeletedFileRecovery

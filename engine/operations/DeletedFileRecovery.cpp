#include "engine/operations/DeletedFileRecovery.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/FATParser.h"
#include "engine/operations/ImageJournal.h"

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
    return image.fatTable.isAllocatable(cluster) &&
           image.fatTable.entries()[static_cast<std::size_t>(cluster)] == 0;
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
    if (entryData.size() < 32 || entryData[0] != 0xE5) {
        return std::nullopt;
    }
    const std::uint8_t attributes = entryData[11];
    if (attributes == FileAttributes::longNameSlot ||
        (attributes & FileAttributes::volumeLabel) != 0) {
        return std::nullopt;
    }
    DeletedFileEntry entry;
    entry.id = newEntryId();
    Bytes name(entryData.begin(), entryData.begin() + 8);
    name[0] = 0x3F;
    entry.displayName = joinName(name, entryData.subspan(8, 3));
    entry.rawEntryData.assign(entryData.begin(), entryData.begin() + 32);
    entry.startCluster = readU16LE(entryData, 26);
    entry.size = readU32LE(entryData, 28);
    entry.attributes.rawValue = attributes;
    entry.modifiedDate =
        DirectoryEntryParser::decodeFATDateTime(readU16LE(entryData, 24), readU16LE(entryData, 22));
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
    if (entry.requiredClusters < 1 || entry.startCluster < 2) {
        entry.recoverability = 100;
        return entry;
    }
    const std::int64_t end =
        std::min<std::int64_t>(entry.startCluster + entry.requiredClusters,
                               static_cast<std::int64_t>(image.fatTable.entries().size()));
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
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<DeletedFileEntry> listDeletedEntries(const DiskImage& image, const DiskPath& path) {
    std::vector<DeletedFileEntry> entries;
    const std::int64_t bytesPerCluster = image.bytesPerCluster();
    const std::int64_t bytesPerSector = image.bpb.bytesPerSector;
    try {
        if (path.isRoot()) {
            const std::int64_t rootStart = image.rootDirectoryStartSector();
            const std::int64_t start = image.dataOffset + rootStart * bytesPerSector;
            const std::int64_t length = static_cast<std::int64_t>(image.bpb.rootEntryCount) * 32;
            if (bytesPerSector == 0 ||
                !rangeFits(start, length, static_cast<std::int64_t>(image.data.size()))) {
                return entries;
            }
            const Bytes block =
                image.data.slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
            for (std::int64_t o = 0; o + 32 <= length; o += 32) {
                const EntryLocation location{true, rootStart + o / bytesPerSector,
                                             o % bytesPerSector};
                if (auto entry = parseDeletedEntry(ByteView(block).subspan(static_cast<std::size_t>(o), 32),
                                                   bytesPerCluster, image, location)) {
                    entries.push_back(std::move(*entry));
                }
            }
            return entries;
        }
        const std::optional<std::uint16_t> cluster = resolveDirectoryCluster(path, image);
        if (!cluster) {
            return entries;
        }
        for (std::uint16_t c : FATParser::getClusterChain(*cluster, image.fatTable)) {
            const Bytes bytes = image.readCluster(c);
            for (std::size_t o = 0; o + 32 <= bytes.size(); o += 32) {
                const EntryLocation location{false, c, static_cast<std::int64_t>(o)};
                if (auto entry = parseDeletedEntry(ByteView(bytes).subspan(o, 32), bytesPerCluster,
                                                   image, location)) {
                    entries.push_back(std::move(*entry));
                }
            }
        }
    } catch (const std::exception&) {
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
    if (first < 0x20 || first > 0x7E) {
        return std::string("先頭文字はASCII表示可能文字（0x20〜0x7E）を入力してください");
    }
    if (image.isWriteProtected || image.isReadOnly) {
        return std::string("ディスクイメージは読み取り専用です");
    }
    if (target.recoverability != 100) {
        return "クラスタチェーンに使用中のクラスタが" +
               std::to_string(target.requiredClusters - target.freeClusters) +
               "個含まれるため、復元できません";
    }
    // A short name with a lower-case letter is invalid on FAT.
    return static_cast<std::uint8_t>(first >= 'a' && first <= 'z' ? first - 'a' + 'A' : first);
}

void restore(DiskImage& image, const DiskPath& directory, const DeletedFileEntry& target,
             std::uint8_t firstByte) {
    image.checkWritable();
    if (firstByte >= 'a' && firstByte <= 'z') {
        firstByte = static_cast<std::uint8_t>(firstByte - 'a' + 'A');
    }
    const DiskImageError notFound =
        DiskImageError::headerParseFailure("エントリが見つかりません: " + target.displayName)
            .withReason(DiskImageError::Reason::entryNotFound);
    // The listing may be older than the disk: only the very slot that was listed, still
    // deleted, is brought back.
    const std::optional<Bytes> slot = readSlot(image, target.location);
    if (!slot || target.rawEntryData.size() != 32 || (*slot)[0] != 0xE5 ||
        !std::equal(slot->begin() + 1, slot->end(), target.rawEntryData.begin() + 1)) {
        throw notFound;
    }
    // Judged again on the FAT as it is now: linking a cluster that is in use would
    // cross-link two files.
    const std::optional<DeletedFileEntry> now =
        parseDeletedEntry(*slot, image.bytesPerCluster(), image, target.location);
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
    Bytes restoredName(slot->begin(), slot->begin() + 8);
    restoredName[0] = firstByte;
    const ByteView restoredExt = ByteView(*slot).subspan(8, 3);
    for (const DirectoryEntry& live : DirectoryReader::listDirectory(image, directory)) {
        if (live.rawName == restoredName &&
            std::equal(restoredExt.begin(), restoredExt.end(), live.rawExtension.begin(),
                       live.rawExtension.end())) {
            throw DiskImageError::encodingError("同名のファイルが既に存在します: " +
                                                joinName(restoredName, restoredExt))
                .withReason(DiskImageError::Reason::nameClash);
        }
    }

    ImageJournal journal(image);
    const ImageJournal::Mark start = journal.mark();
    try {
        const EntryLocation& at = target.location;
        if (at.isRootDirectory) {
            Bytes sector = image.readSector(at.sectorOrCluster);
            sector[static_cast<std::size_t>(at.offsetInSector)] = firstByte;
            journal.writeSector(at.sectorOrCluster, sector);
        } else {
            const auto cluster = static_cast<std::uint16_t>(at.sectorOrCluster);
            Bytes bytes = image.readCluster(cluster);
            bytes[static_cast<std::size_t>(at.offsetInSector)] = firstByte;
            journal.writeCluster(cluster, bytes);
        }
        FATTable& fat = image.fatTable;
        const std::int64_t required = now->requiredClusters;
        if (target.startCluster >= 2) {
            for (std::int64_t i = 0; i < required; ++i) {
                const std::int64_t c = target.startCluster + i;
                if (c >= static_cast<std::int64_t>(fat.entries().size())) {
                    break;
                }
                fat.setEntry(static_cast<std::size_t>(c), i + 1 < required
                                                              ? static_cast<std::uint16_t>(c + 1)
                                                              : fat.endOfChainValue());
            }
        }
        journal.writeFAT();
        image.saveToFile();
    } catch (...) {
        journal.rollbackTo(start);
        throw;
    }
}

} // namespace tamberlane::DeletedFileRecovery

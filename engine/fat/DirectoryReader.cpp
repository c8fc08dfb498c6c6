#include "engine/fat/DirectoryReader.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/LFNParser.h"

namespace tamberlane::DirectoryReader {

namespace {

bool clusterTouchesData(const DiskImage& image, std::uint16_t cluster) {
    return image.clusterOffset(cluster) < static_cast<std::int64_t>(image.data().size());
}

// The bytes of a chain, stopping at `limit` bytes and at the first cluster that lies
// wholly past the image data: a hostile FAT cannot make us allocate beyond the file.
Bytes readChain(const DiskImage& image, const std::vector<std::uint16_t>& chain,
                std::int64_t limit) {
    Bytes out;
    for (std::uint16_t cluster : chain) {
        if (static_cast<std::int64_t>(out.size()) >= limit || !clusterTouchesData(image, cluster)) {
            break;
        }
        const Bytes bytes = image.readCluster(cluster);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

} // namespace

std::vector<DirectoryEntry> parseDirectoryEntries(ByteView data) {
    std::vector<DirectoryEntry> entries;
    for (PlacedEntry& placed : parsePlacedEntries(data)) {
        entries.push_back(std::move(placed.entry));
    }
    return entries;
}

std::vector<PlacedEntry> parsePlacedEntries(ByteView data) {
    std::vector<PlacedEntry> entries;
    std::vector<LFNFragment> pending;
    for (std::size_t offset = 0; offset + DirectorySlot::size <= data.size();
         offset += DirectorySlot::size) {
        const DirectorySlot slot(data.subspan(offset, DirectorySlot::size));
        if (slot.isEnd()) {
            break;
        }
        if (slot.isDeleted()) {
            pending.clear();
            continue;
        }
        if (slot.isLongName()) {
            if (auto fragment = LFNParser::parseLFNEntry(slot.bytes())) {
                pending.push_back(*fragment);
            }
            continue;
        }
        if (slot.isVolumeLabel()) {
            pending.clear();
            continue;
        }
        DirectoryEntryParseResult parsed = DirectoryEntryParser::parse(slot.bytes());
        if (parsed.kind == DirectoryEntryParseResult::Kind::endOfDirectory) {
            break;
        }
        if (parsed.kind != DirectoryEntryParseResult::Kind::entry) {
            pending.clear();
            continue;
        }
        DirectoryEntry entry = std::move(parsed.entry);
        if (!pending.empty()) {
            const std::uint8_t checksum = LFNParser::calculateChecksum(slot.shortName());
            bool matches = true;
            for (const LFNFragment& f : pending) {
                matches = matches && f.checksum == checksum;
            }
            if (matches) {
                entry.longFileName = LFNParser::assembleLFN(pending);
            }
            pending.clear();
        }
        if (entry.name == "." || entry.name == "..") {
            continue;
        }
        entries.push_back(PlacedEntry{std::move(entry), offset});
    }
    return entries;
}

std::vector<DirectoryEntry> readRootDirectory(const DiskImage& image) {
    const std::int64_t start =
        image.dataOffset() + image.rootDirectoryStartSector() * image.bpb().bytesPerSector;
    const std::int64_t length = static_cast<std::int64_t>(image.bpb().rootEntryCount) * 32;
    if (!rangeFits(start, length, static_cast<std::int64_t>(image.data().size()))) {
        throw DiskImageError::headerParseFailure(
            "ルートディレクトリ領域がファイルサイズを超えています");
    }
    return parseDirectoryEntries(
        image.data().slice(static_cast<std::size_t>(start), static_cast<std::size_t>(length)));
}

std::vector<DirectoryEntry> readSubDirectory(std::uint16_t startCluster, const DiskImage& image,
                                             int depth) {
    if (depth > maxDepth - 1) {
        throw DiskImageError::directoryDepthExceeded(maxDepth);
    }
    const auto chain = FATParser::getClusterChain(startCluster, image.fatTable());
    return parseDirectoryEntries(readChain(image, chain, INT64_MAX));
}

std::uint16_t resolveDirectoryCluster(const DiskPath& path, const DiskImage& image, int depth) {
    if (depth > maxDepth - 1) {
        throw DiskImageError::directoryDepthExceeded(maxDepth);
    }
    std::vector<DirectoryEntry> entries = readRootDirectory(image);
    if (path.components.empty()) {
        throw DiskImageError::headerParseFailure("パスの解決に失敗しました");
    }
    for (std::size_t i = 0; i < path.components.size(); ++i) {
        const std::string& component = path.components[i];
        const DirectoryEntry* found =
            EntryLookup::findEntry(entries, component, EntryLookup::Wanted::directory);
        if (found == nullptr) {
            throw DiskImageError::headerParseFailure("ディレクトリが見つかりません: " + component);
        }
        if (i + 1 == path.components.size()) {
            return found->startCluster;
        }
        const std::uint16_t next = found->startCluster;
        entries = readSubDirectory(next, image, depth + 1 + static_cast<int>(i));
    }
    return 0;
}

std::vector<DirectoryEntry> listDirectory(const DiskImage& image, const DiskPath& path) {
    if (path.isRoot()) {
        return readRootDirectory(image);
    }
    const std::uint16_t cluster = resolveDirectoryCluster(path, image, 0);
    return readSubDirectory(cluster, image, 0);
}

Bytes readFile(const DiskImage& image, const DirectoryEntry& entry) {
    if (entry.size == 0) {
        return {};
    }
    const auto chain = FATParser::getClusterChain(entry.startCluster, image.fatTable());
    Bytes bytes = readChain(image, chain, entry.size);
    if (bytes.size() > entry.size) {
        bytes.resize(entry.size);
    }
    return bytes;
}

} // namespace tamberlane::DirectoryReader

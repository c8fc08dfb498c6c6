#include "engine/fat/DirectoryReader.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/SlotRun.h"

namespace tamberlane::DirectoryReader {

namespace {

bool clusterTouchesData(const DiskImage& image, std::uint16_t cluster) {
    return image.addressing().clusterOffset(cluster) <
           static_cast<std::int64_t>(image.data().size());
}

// The bytes of a chain, stopping at `limit` bytes and at the first cluster that lies
// wholly past the image data: a hostile FAT cannot make us allocate beyond the file.
Bytes readChain(const DiskImage& image, const std::vector<std::uint16_t>& chain, std::int64_t limit,
                bool keep) {
    Bytes out;
    for (std::uint16_t cluster : chain) {
        if (static_cast<std::int64_t>(out.size()) >= limit || !clusterTouchesData(image, cluster)) {
            break;
        }
        const Bytes bytes = image.readCluster(cluster, keep);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

} // namespace

std::vector<DirectoryEntry> parseDirectoryEntries(ByteView data) {
    std::vector<DirectoryEntry> entries;
    for (SlotRun& run : slotRunsOf(data)) {
        if (run.isListed()) {
            entries.push_back(std::move(run.entry));
        }
    }
    return entries;
}

std::vector<DirectoryEntry> readRootDirectory(const DiskImage& image) {
    const std::int64_t start =
        image.layout().dataOffset +
        image.addressing().rootDirectoryStartSector() * image.layout().bpb.bytesPerSector;
    const std::int64_t length = static_cast<std::int64_t>(image.layout().bpb.rootEntryCount) * 32;
    if (!rangeFits(start, length, static_cast<std::int64_t>(image.data().size()))) {
        throw DiskImageError::headerParseFailure(
            translate("ルートディレクトリ領域がファイルサイズを超えています"));
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
    return parseDirectoryEntries(readChain(
        image, chain,
        static_cast<std::int64_t>(DirectorySlot::maxPerDirectory * DirectorySlot::size), true));
}

Bytes readFile(const DiskImage& image, const DirectoryEntry& entry) {
    if (entry.size == 0) {
        return {};
    }
    const auto chain = FATParser::getClusterChain(entry.startCluster, image.fatTable());
    // A file's contents are read once: its pages stay in the file.
    Bytes bytes = readChain(image, chain, entry.size, false);
    if (bytes.size() > entry.size) {
        bytes.resize(entry.size);
    }
    return bytes;
}

} // namespace tamberlane::DirectoryReader

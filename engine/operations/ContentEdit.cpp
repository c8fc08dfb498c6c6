#include "engine/operations/ContentEdit.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"

#include <algorithm>
#include <chrono>

namespace tamberlane {

namespace {

// A FAT directory entry holds a 32-bit size.
constexpr std::size_t maxFileSize = 0xFFFFFFFFu;

// Decodes the first FAT again after a raw write into a copy: the table in memory is what
// the next change writes into every copy, and left stale it would quietly undo the edit.
void reloadFATTable(DiskImage& image) {
    image.fatTable().replaceEntries(
        image.addressing()
            .fatArea()
            .decode(image.data(), image.layout().dataOffset, image.layout().fatType)
            .entries());
}

} // namespace

FileEntry ContentEdit::replaceFileContents(const FileEntry& entry, ByteView contents) {
    return editor_.change(FATWrite::yes, [&] {
        DiskImage& image = editor_.image();
        if (entry.directoryEntry.isDirectory()) {
            throw DiskImageError::notRegularFile(entry.directoryEntry.displayName());
        }
        // A stale listing would have us free chains no slot names any more.
        const std::optional<VolumeEditor::Placed> placed = editor_.locate(entry);
        if (!placed) {
            throw DiskImageError::staleEntry(entry.directoryEntry.displayName());
        }
        const std::int64_t bytesPerCluster = image.addressing().bytesPerCluster();
        if (contents.size() > maxFileSize || bytesPerCluster <= 0) {
            throw DiskImageError::diskFull(static_cast<std::int64_t>(contents.size()), 0);
        }
        // The old chain is freed first, so the file may grow into its own clusters.
        editor_.freeChain(DirectorySlot(placed->table->slotBytes(placed->run)).startCluster());
        const auto size = static_cast<std::int64_t>(contents.size());
        const std::vector<std::uint16_t> clusters =
            editor_.allocate((size + bytesPerCluster - 1) / bytesPerCluster, size);
        for (std::size_t i = 0; i < clusters.size(); ++i) {
            const std::size_t from = i * static_cast<std::size_t>(bytesPerCluster);
            const std::size_t count =
                std::min(static_cast<std::size_t>(bytesPerCluster), contents.size() - from);
            image.writeCluster(clusters[i], contents.subspan(from, count));
        }
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        const std::uint16_t first = clusters.empty() ? 0 : clusters.front();
        placed->table->edit(placed->run, [&](DirectorySlot::Mutable slot) {
            DirectorySlot::setTime(slot, DirectoryEntryParser::encodeFATTime(now));
            DirectorySlot::setDate(slot, DirectoryEntryParser::encodeFATDate(now));
            DirectorySlot::setStartCluster(slot, first);
            DirectorySlot::setFileSize(slot, static_cast<std::uint32_t>(contents.size()));
        });
        FileEntry updated = entry;
        updated.directoryEntry.startCluster = first;
        updated.directoryEntry.size = static_cast<std::uint32_t>(contents.size());
        updated.directoryEntry.modifiedDate =
            DirectoryEntryParser::parse(placed->table->slotBytes(placed->run)).entry.modifiedDate;
        return updated;
    });
}

void ContentEdit::writeRawSector(std::int64_t lba, ByteView sectorData) {
    DiskImage& image = editor_.image();
    image.checkWritable();
    if (!image.sectorIsStorable(lba)) {
        throw DiskImageError::sectorNotRecorded(lba);
    }
    const bool inFAT = image.addressing().fatArea().contains(lba);
    editor_.change(FATWrite::no, [&] {
        image.writeSector(lba, sectorData);
        if (inFAT) {
            reloadFATTable(image);
        }
    });
    image.reassessVolume();
}

} // namespace tamberlane

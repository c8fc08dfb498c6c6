#include "engine/operations/FileOperationService.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FATParser.h"
#include "engine/operations/VolumeTransaction.h"

#include <cerrno>
#include <chrono>
#include <string>

namespace tamberlane {

namespace {

// A FAT directory entry holds a 32-bit size.
constexpr std::size_t maxFileSize = 0xFFFFFFFFu;

// Offsets 11 to 35 of the boot sector: everything from bytes per sector up to the 32-bit
// sector count, i.e. every field the layout of the volume is computed from.
constexpr std::size_t bootParametersBegin = 11;
constexpr std::size_t bootParametersEnd = 36;

} // namespace

FileEntry FileOperationService::replaceFileContents(const FileEntry& entry, ByteView contents) {
    return changeVolume(*diskImage_, FATWrite::yes, [&](ImageJournal& journal) {
        return replaceContents(journal, entry, contents);
    });
}

FileEntry FileOperationService::replaceContents(ImageJournal& journal, const FileEntry& entry,
                                                ByteView contents) {
    DiskImage& image = *diskImage_;
    if (entry.directoryEntry.isDirectory()) {
        throw DiskImageError::ioError(
            "通常のファイルではありません: " + entry.directoryEntry.displayName(), EINVAL)
            .withReason(DiskImageError::Reason::notRegularFile);
    }
    // A stale listing would have us free chains no slot names any more.
    const Placed placed = placeOrThrow(entry);
    const std::int64_t bytesPerCluster = image.bytesPerCluster();
    if (contents.size() > maxFileSize || bytesPerCluster <= 0) {
        throw DiskImageError::diskFull(static_cast<std::int64_t>(contents.size()), 0);
    }

    // The old chain is freed first, so the file may grow into its own clusters.
    const std::uint16_t oldStart = DirectorySlot(placed.ref.slot).startCluster();
    if (oldStart >= 2) {
        image.fatTable().free(oldStart);
    }
    const auto size = static_cast<std::int64_t>(contents.size());
    const std::vector<std::uint16_t> clusters =
        allocateClusters((size + bytesPerCluster - 1) / bytesPerCluster, size);
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        const std::size_t from = i * static_cast<std::size_t>(bytesPerCluster);
        const std::size_t count =
            std::min(static_cast<std::size_t>(bytesPerCluster), contents.size() - from);
        journal.writeCluster(clusters[i], contents.subspan(from, count));
    }

    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const std::uint16_t first = clusters.empty() ? 0 : clusters.front();
    Bytes unit = readUnit(placed.storage, placed.ref.unitIndex);
    const std::span<std::uint8_t> slot(unit.data() + placed.ref.offset, DirectorySlot::size);
    DirectorySlot::setTime(slot, DirectoryEntryParser::encodeFATTime(now));
    DirectorySlot::setDate(slot, DirectoryEntryParser::encodeFATDate(now));
    DirectorySlot::setStartCluster(slot, first);
    DirectorySlot::setFileSize(slot, static_cast<std::uint32_t>(contents.size()));
    writeUnit(journal, placed.storage, placed.ref.unitIndex, unit);

    FileEntry updated = entry;
    updated.directoryEntry.startCluster = first;
    updated.directoryEntry.size = static_cast<std::uint32_t>(contents.size());
    updated.directoryEntry.modifiedDate = DirectoryEntryParser::parse(slot).entry.modifiedDate;
    return updated;
}

FileOperationService::SectorWriteResult FileOperationService::writeRawSector(std::int64_t lba,
                                                                             ByteView sectorData) {
    DiskImage& image = *diskImage_;
    image.checkWritable();
    if (!image.sectorIsStorable(lba)) {
        throw DiskImageError::ioError("このセクタはディスクイメージに記録されていません（LBA " +
                                          std::to_string(lba) + "）",
                                      EINVAL);
    }
    const Bytes before = image.readSector(lba);
    const bool inFirstFAT = image.fatArea().inFirstCopy(lba);

    changeVolume(image, FATWrite::no, [&](ImageJournal& journal) {
        journal.writeSector(lba, sectorData);
        if (inFirstFAT) {
            // The table in memory is what the next change writes into every copy: left
            // stale, it would quietly undo this edit.
            reloadFATTable();
        }
    });
    SectorWriteResult result;
    if (lba == 0 && before.size() >= bootParametersEnd) {
        const Bytes after = image.readSector(0);
        result.bootParametersChanged =
            !std::equal(before.begin() + bootParametersBegin, before.begin() + bootParametersEnd,
                        after.begin() + bootParametersBegin);
    }
    return result;
}

void FileOperationService::reloadFATTable() {
    DiskImage& image = *diskImage_;
    image.fatTable().replaceEntries(
        image.fatArea().decode(image.data(), image.dataOffset(), image.fatType()).entries());
}

} // namespace tamberlane

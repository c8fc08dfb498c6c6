#include "engine/operations/FileOperationService.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/FATParser.h"
#include "engine/operations/ImageJournal.h"

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
    DiskImage& image = *diskImage_;
    image.checkWritable();
    if (entry.directoryEntry.isDirectory()) {
        throw DiskImageError::ioError("通常のファイルではありません: " +
                                          entry.directoryEntry.displayName(),
                                      EINVAL)
            .withReason(DiskImageError::Reason::notRegularFile);
    }
    // A stale listing would have us free chains no slot names any more.
    const Placed placed = placeOrThrow(entry);
    const std::int64_t bytesPerCluster = image.bytesPerCluster();
    if (contents.size() > maxFileSize || bytesPerCluster <= 0) {
        throw DiskImageError::diskFull(static_cast<std::int64_t>(contents.size()), 0);
    }

    ImageJournal journal(image);
    const ImageJournal::Mark start = journal.mark();
    try {
        // The old chain is freed first, so the file may grow into its own clusters.
        const std::uint16_t oldStart = readU16LE(placed.ref.slot, 26);
        if (oldStart >= 2) {
            image.fatTable.free(oldStart);
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
        const std::size_t at = placed.ref.offset;
        Bytes slot(unit.begin() + static_cast<std::ptrdiff_t>(at),
                   unit.begin() + static_cast<std::ptrdiff_t>(at + 32));
        writeU16LE(slot, 22, DirectoryEntryParser::encodeFATTime(now));
        writeU16LE(slot, 24, DirectoryEntryParser::encodeFATDate(now));
        writeU16LE(slot, 26, first);
        writeU32LE(slot, 28, static_cast<std::uint32_t>(contents.size()));
        std::copy(slot.begin(), slot.end(), unit.begin() + static_cast<std::ptrdiff_t>(at));
        writeUnit(journal, placed.storage, placed.ref.unitIndex, unit);
        commit(journal, true);

        FileEntry updated = entry;
        updated.directoryEntry.startCluster = first;
        updated.directoryEntry.size = static_cast<std::uint32_t>(contents.size());
        updated.directoryEntry.modifiedDate =
            DirectoryEntryParser::parse(slot).entry.modifiedDate;
        return updated;
    } catch (...) {
        journal.rollbackTo(start);
        throw;
    }
}

FileOperationService::SectorWriteResult
FileOperationService::writeRawSector(std::int64_t lba, ByteView sectorData) {
    DiskImage& image = *diskImage_;
    image.checkWritable();
    if (!image.sectorIsStorable(lba)) {
        throw DiskImageError::ioError(
            "このセクタはディスクイメージに記録されていません（LBA " + std::to_string(lba) + "）",
            EINVAL);
    }
    const Bytes before = image.readSector(lba);
    const BIOSParameterBlock& bpb = image.bpb;
    const std::int64_t firstFAT = bpb.reservedSectors;
    const bool inFirstFAT = lba >= firstFAT && lba < firstFAT + bpb.sectorsPerFAT;

    ImageJournal journal(image);
    const ImageJournal::Mark start = journal.mark();
    try {
        journal.writeSector(lba, sectorData);
        if (inFirstFAT) {
            // The table in memory is what the next change writes into every copy: left
            // stale, it would quietly undo this edit.
            const Bytes fatBytes = [&] {
                Bytes bytes;
                for (std::int64_t k = 0; k < bpb.sectorsPerFAT; ++k) {
                    const Bytes sector = image.readSector(firstFAT + k);
                    bytes.insert(bytes.end(), sector.begin(), sector.end());
                }
                return bytes;
            }();
            const auto count = static_cast<std::int64_t>(image.fatTable.entries().size());
            image.fatTable.replaceEntries(image.fatType == FATType::fat12
                                              ? FATParser::decodeFAT12(fatBytes, count)
                                              : FATParser::decodeFAT16(fatBytes, count));
        }
        commit(journal, false);
    } catch (...) {
        journal.rollbackTo(start);
        throw;
    }
    SectorWriteResult result;
    if (lba == 0 && before.size() >= bootParametersEnd) {
        const Bytes after = image.readSector(0);
        result.bootParametersChanged =
            !std::equal(before.begin() + bootParametersBegin, before.begin() + bootParametersEnd,
                        after.begin() + bootParametersBegin);
    }
    return result;
}

} // namespace tamberlane

#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/base/DiskImageError.h"
#include "engine/base/PagedBytes.h"
#include "engine/fat/FATTable.h"
#include "engine/fat/FatArea.h"
#include "engine/fat/ImageFileGuard.h"
#include "engine/fat/VolumeAddressing.h"
#include "engine/image/BIOSParameterBlock.h"
#include "engine/image/DiskImageFormat.h"
#include "engine/image/PartitionTable.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace tamberlane {

// Space of the volume as the user is shown it, counted from the FAT.
struct VolumeCapacity {
    std::int64_t usedBytes = 0;
    std::int64_t freeBytes = 0;
    std::int64_t totalBytes = 0;
    std::int64_t usedClusters = 0;
    std::int64_t freeClusters = 0;
    std::int64_t totalClusters = 0;
};

// What an opened image is made of, as the open found it: everything but the bytes.
struct ImageLayout {
    std::filesystem::path url = {};
    std::shared_ptr<const DiskImageFormat> format = {};
    DiskGeometry geometry = {};
    BIOSParameterBlock bpb = {};
    FATType fatType = FATType::fat12;
    FATTable fatTable = {};
    bool isWriteProtected = false;
    bool isReadOnly = false;
    // Where the volume's boot sector is in the image's bytes.
    std::int64_t dataOffset = 0;
    // The whole file as read, where the image's bytes were rebuilt from its records.
    std::optional<PagedBytes> originalFileData = {};
    // Per sector of the geometry's size, from the start of the data: whether a record of
    // the file holds it, so a save keeps it. Absent: all are kept.
    std::optional<std::vector<bool>> storedSectors = {};
    // Sectors (numbered as storedSectors) that two records of the file claim, and those
    // whose record a dump marked unreadable: reported by a check, never mended by it.
    std::vector<std::int64_t> sectorsHeldTwice = {};
    std::vector<std::int64_t> sectorsRecordedBad = {};
    // For a D88 file holding several disks: where the opened disk starts in the file
    // (originalFileData is the whole file; a save changes only this disk's bytes).
    std::int64_t d88DiskOffset = 0;
    // The partition the volume was opened in: no write reaches a byte outside it, and no
    // cluster outside it is handed out.
    std::optional<PartitionInfo> partition = {};
    // The boot sector holds no BPB: the parameters come from the media byte of the first
    // FAT and the file's size (the information view says so).
    bool parametersInferred = false;
    // Where the boot sector was found (byte offset in the data) when the container's own
    // offset held none: what a search finds may be an image stored as a file on the disk,
    // so it is changed only after the holder confirmed it.
    std::optional<std::int64_t> searchedBootOffset = {};
};

// One opened image, held whole in memory. Shared (std::shared_ptr) by the service,
// the file operations and the views, so every holder sees each change at once.
class DiskImage {
  public:
    // The image of `layout` over `data` (the container's bytes; for a D88 file the flat
    // volume rebuilt from its records), with what it may change worked out once.
    static std::shared_ptr<DiskImage> create(ImageLayout layout, PagedBytes data);

    // What the open found. Only the FAT table (through fatTable()) and the bytes of a file
    // rebuilt from its records (through restore) change after it.
    const ImageLayout& layout() const { return layout_; }
    const FATTable& fatTable() const { return layout_.fatTable; }
    FATTable& fatTable() { return layout_.fatTable; }
    // Copies share pages, so snapshots are cheap.
    const PagedBytes& data() const { return data_; }
    // Puts back bytes taken from this image before (a failed change, undo); nothing else
    // replaces them. The volume is judged again, as after a raw write.
    void restore(PagedBytes data);
    void restore(PagedBytes data, std::optional<PagedBytes> originalFileData);
    // Judges again whether the volume may be changed, after a raw write that may have made
    // its FAT copies differ or its boot sector disagree with the layout in memory.
    void reassessVolume() { changeRefusal_ = unsafeToChange(); }
    // Writes copy `copy` (0-based) of the FAT over every other copy and takes the FAT table
    // from it: the way out of a refusal for copies that differ, and of no other. Throws
    // what forbids writing the file, or a refusal the copies are not the cause of.
    void adoptFatCopy(std::int64_t copy);
    // What forbids a repair: what forbids writing the file, a refusal other than the one
    // for FAT copies that differ (which the repair mends first), or a searched volume
    // not yet confirmed. Nothing when a repair may run.
    std::optional<DiskImageError> whyNotRepairable() const;

    // Why this volume reads but is not changed (its areas overlap or lie outside the image,
    // its FAT copies disagree, a D88 file cannot keep its metadata); absent when sound.
    const std::optional<DiskImageError>& changeRefusal() const { return changeRefusal_; }
    void confirmChangesToSearchedVolume() { searchConfirmed_ = true; }
    bool awaitsSearchConfirmation() const {
        return layout_.searchedBootOffset && !searchConfirmed_;
    }

    // The hold on the file the image was read from.
    const ImageFileGuard& file() const { return file_; }
    ImageFileGuard& file() { return file_; }

    const VolumeAddressing& addressing() const { return addressing_; }
    VolumeCapacity capacity() const;
    // Whether every byte of `cluster` (of sector `lba`) lies inside `data` and is kept by
    // a save: a D88 sector without a record of its own reads as zeros and is not.
    bool clusterIsStorable(std::uint16_t cluster) const;
    bool sectorIsStorable(std::int64_t lba) const;

    // Out-of-range sectors read as zeros. A read fails only where the file must be read
    // and cannot be, or has changed since it was opened (imageFileChanged).
    Bytes readSector(std::int64_t lba) const;
    // `keep` false for a file's contents read once, as by an export: the pages read stay
    // in the file, not in memory.
    Bytes readCluster(std::uint16_t cluster, bool keep = true) const;

    // Writes outside the data are skipped; the buffer never changes size.
    void writeSector(std::int64_t lba, ByteView sectorData);
    void writeCluster(std::uint16_t cluster, ByteView clusterData);
    // `count` clusters numbered from `firstCluster` on, as writeCluster would write each.
    void writeClusters(std::uint16_t firstCluster, std::int64_t count, ByteView bytes);
    // Writes the whole container atomically over its file.
    void saveToFile();

    // Throws when no change may be made: write protection or read-only first, then the
    // file's refusal, then the volume's own, then a searched volume not yet confirmed.
    void checkWritable() const;
    // What checkWritable would throw, or nothing.
    std::optional<DiskImageError> whyNotWritable() const;
    // Only what forbids writing the file at all: write protection, read-only, the file's
    // refusal. Putting back a whole earlier state (undo) needs no more, since it writes
    // nothing through the layout; it is how a volume refused after a raw edit gets back.
    void checkFileWritable() const;

  private:
    DiskImage(ImageLayout layout, PagedBytes data);
    std::optional<DiskImageError> unsafeToChange(bool copiesMayDiffer = false) const;
    std::optional<DiskImageError> fileRefusal() const;
    // What forbids a change, with `volume` as the volume's own refusal.
    std::optional<DiskImageError> whyNot(const std::optional<DiskImageError>& volume) const;
    PagedBytes containerBytes() const;
    void limitAllocation();
    void writeClusterBySector(std::uint16_t cluster, ByteView clusterData);
    bool writable(std::int64_t start, std::int64_t length) const;
    bool rangeIsStored(std::int64_t start, std::int64_t length) const;

    ImageLayout layout_;
    VolumeAddressing addressing_;
    PagedBytes data_;
    std::optional<DiskImageError> changeRefusal_;
    // The boot sector's parameter bytes as the layout was read from them.
    Bytes openedBootParameters_;
    bool searchConfirmed_ = false;
    ImageFileGuard file_;
    // Where writes may land in `data`; the whole of it unless confined to a partition.
    std::int64_t writableStart_ = 0;
    std::int64_t writableEnd_ = 0;
};

} // namespace tamberlane

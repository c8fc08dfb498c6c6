#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DirectoryNameIndex.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tamberlane {

class ImageJournal;

// Receives a fraction from 0 to 1.
using ProgressCallback = std::function<void(double)>;

// The outcome of one file of a batch.
struct BatchItemResult {
    // The host file name (import) or the entry's display name (delete).
    std::string name;
    std::optional<DiskImageError> error;

    bool succeeded() const { return !error.has_value(); }
};

struct BatchResult {
    // One item per requested file, in request order; empty when cancelled.
    std::vector<BatchItemResult> items;
    // The stop was requested: the whole batch was undone and the file not written.
    bool cancelled = false;
    // The batch was undone as a whole (an item failed where all or nothing was asked, or
    // nothing was to be kept): the items that succeeded were not written either.
    bool discarded = false;

    bool allSucceeded() const;
    std::vector<std::string> failedNames() const;
};

// What a batch keeps when some of its items fail.
enum class BatchMode {
    // Each item stands alone: the ones that succeeded are written.
    keepSucceeded,
    // One failed item undoes the whole batch; nothing is written.
    allOrNothing,
    // Every item is tried, so each failure can be named, and the whole batch is undone.
    tryOnly,
};

struct BatchOptions {
    // Replace a file of the same 8.3 name (never a directory).
    bool overwrite = false;
    // Seen between items and between clusters; a stop undoes the whole batch.
    std::stop_token stop = {};
    ProgressCallback progress = {};
    BatchMode mode = BatchMode::keepSucceeded;
};

// Every change to the volume of one image goes through here. Each public operation is
// all or nothing: on success the image file has been written once; on failure the
// image file is untouched and the in-memory image (data and FAT) is as it was before.
class FileOperationService {
  public:
    explicit FileOperationService(std::shared_ptr<DiskImage> diskImage);

    const std::shared_ptr<DiskImage>& diskImage() const { return diskImage_; }

    // Imports one regular host file (links followed) into the directory `to`.
    void importFile(const std::filesystem::path& from, const DiskPath& to, bool overwrite,
                    const ProgressCallback& progress = {});
    // Imports several host files into one directory and writes the image file once. A file
    // that fails is left out (its own changes undone) and the others go on; when the final
    // save fails, every file is undone and reported failed.
    BatchResult importFiles(const std::vector<std::filesystem::path>& from, const DiskPath& to,
                            bool overwrite, const ProgressCallback& progress = {});
    BatchResult importFiles(const std::vector<std::filesystem::path>& from, const DiskPath& to,
                            const BatchOptions& options);
    // Writes the file's bytes to `to`. Needs no write access to the image. A file read only
    // in part is written with that part, then reported (incompleteFile).
    void exportFile(const FileEntry& entry, const std::filesystem::path& to,
                    const ProgressCallback& progress = {}) const;

    void deleteEntry(const FileEntry& entry, bool recursive);
    // Deletes several entries (directories with their trees when `recursive`) and writes
    // the image file once, with the same rules as importFiles.
    BatchResult deleteEntries(const std::vector<FileEntry>& entries, bool recursive,
                              BatchMode mode = BatchMode::keepSucceeded);
    void renameEntry(const FileEntry& entry, const std::string& newName,
                     const std::string& newExtension);
    void createDirectory(const std::string& name, const DiskPath& in);

    // Copies files and whole trees into `to`, keeping each entry's slots (8.3 name,
    // attributes, date, long name). An entry pasted into its own directory is left as it
    // is; a name clash fails the item unless overwrite is set and both are files; a
    // directory copied into itself or below fails. The image file is written once.
    BatchResult copyEntries(const std::vector<FileEntry>& entries, const DiskPath& to,
                            const BatchOptions& options);
    // Moves entries into `to` without copying data; a moved directory's ".." follows.
    // Same rules as copyEntries, except that a clash never overwrites.
    BatchResult moveEntries(const std::vector<FileEntry>& entries, const DiskPath& to,
                            const BatchOptions& options);
    // Replaces a file's contents and keeps its slots (8.3 name, long name, attributes); the
    // size, first cluster and date change. One change: on failure the old contents stay,
    // in memory and in the file. Returns the entry as it is now listed.
    FileEntry replaceFileContents(const FileEntry& entry, ByteView contents);

    struct SectorWriteResult {
        // Bytes of the boot parameters changed: the in-memory layout no longer describes
        // the volume, and the image must be opened again before anything else uses it.
        bool bootParametersChanged = false;
    };
    // Writes one raw sector and saves. A sector of the first FAT is decoded again, so the
    // next file operation works from what was written. A sector the image cannot store
    // is refused rather than silently dropped.
    SectorWriteResult writeRawSector(std::int64_t lba, ByteView sectorData);

    // Whether the listed entry is still in its directory with the same raw name, first
    // cluster and size: a stale listing must never be written or deleted.
    bool entryStillExists(const FileEntry& entry) const;

    // Building blocks, reading the in-memory image.
    std::uint16_t findDirectoryCluster(const DiskPath& path) const;
    std::uint16_t findEntryInRootDirectory(const std::string& name) const;
    std::uint16_t findEntryInSubdirectory(const std::string& name, std::uint16_t dirCluster) const;
    bool entryExistsInRootDirectory(ByteView name, ByteView ext) const;
    bool entryExistsInSubdirectory(ByteView name, ByteView ext, std::uint16_t dirCluster) const;

    // A name split at its last full stop, as every command splits a host file name or a
    // new name; a leading full stop starts the name, not an extension (".profile" has
    // none), and "." and ".." stay whole.
    static std::pair<std::string, std::string> splitHostFileName(const std::string& fileName);
    // Throws for "." and "..", which no new or renamed entry may be called.
    static void refuseReservedName(const std::string& name, const std::string& extension);
    // The raw 8.3 key of a name; an empty name part becomes "_" (blanks are no name).
    static std::pair<Bytes, Bytes> shortNameKey(const std::string& name,
                                                const std::string& extension);
    // For each host file name, the name of the entry its import into `to` clashes with,
    // where that differs from the host name even ignoring case (as the clash message
    // names it), so that a question names the entry an overwrite replaces; empty where
    // nothing clashes or the names agree. The directory is read once for all of them.
    std::vector<std::string> clashingEntryNames(const std::vector<std::string>& hostNames,
                                                const DiskPath& to) const;

  private:
    FileEntry replaceContents(ImageJournal& journal, const FileEntry& entry, ByteView contents);
    // Decodes the first FAT again after a raw write into it.
    void reloadFATTable();

    struct SlotRef {
        std::size_t unitIndex = 0;
        std::size_t offset = 0;
        Bytes slot;

        SlotLocation location() const { return {unitIndex, offset}; }
    };

    static SlotRef refTo(SlotLocation at, const DirectorySlot& slot);
    // The slot at `offset` of a unit about to be written back.
    static DirectorySlot::Mutable slotIn(Bytes& unit, std::size_t offset);

    DirectoryStorage storageOfRoot() const;
    DirectoryStorage storageOfCluster(std::uint16_t dirCluster) const;
    DirectoryStorage storageOfDirectory(const DiskPath& path) const;
    Bytes readUnit(const DirectoryStorage& storage, std::size_t index) const;
    void writeUnit(ImageJournal& journal, const DirectoryStorage& storage, std::size_t index,
                   ByteView bytes) const;
    // The first cluster of the directory a path names (0 for the root), resolved one
    // component at a time; `onStep` sees each directory on the way, the last included.
    std::uint16_t walkPath(const DiskPath& path,
                           const std::function<void(std::uint16_t)>& onStep) const;
    std::uint16_t findSubdirectory(const DirectoryStorage& storage, const std::string& name) const;
    // The first occupied slot with this raw key before the end-of-directory mark.
    std::optional<SlotRef> findByKey(const DirectoryStorage& storage, ByteView name,
                                     ByteView ext) const;
    // The listed entries an entry with this raw key, listed as `names`, would be confused
    // with: the same raw key, or a long or short name equal to one of `names` ignoring case.
    std::vector<DirectoryEntry> namesakes(const DirectoryStorage& storage, ByteView name83,
                                          ByteView ext83,
                                          const std::vector<std::string>& names) const;
    // The existing entry's name for a clash message: empty when it is `name` in other case.
    static std::string nameIfOther(const std::string& entryName, const std::string& name);
    // How a listing shows an entry of this raw key that has no long name.
    static std::string listedShortName(ByteView name83, ByteView ext83);
    // The slot at `at` as it is now.
    SlotRef refAt(const DirectoryStorage& storage, SlotLocation at) const;
    // The slot of a listed entry (name, extension and first cluster), or nothing.
    std::optional<SlotRef> locateEntry(const DirectoryStorage& storage,
                                       const DirectoryEntry& entry) const;
    void setSlotFirstByte(ImageJournal& journal, const DirectoryStorage& storage,
                          const SlotRef& ref, std::uint8_t value) const;
    // Marks deleted the long-name slots that belong to the entry at `ref` (run before its
    // short name changes): left alone they are orphans that disk checkers report.
    void deleteLongNameSlots(ImageJournal& journal, const DirectoryStorage& storage,
                             const SlotRef& ref) const;
    // The long-name slots that belong to the entry at `ref` (all or none).
    std::vector<SlotRef> longNameRun(const DirectoryStorage& storage, const SlotRef& ref) const;
    // Each live short slot up to the end mark, with the long-name slots that belong to it.
    struct SlotRun {
        std::vector<SlotRef> longName;
        SlotRef entry;
        std::vector<Bytes> bytes() const;
    };
    std::vector<SlotRun> slotRuns(const DirectoryStorage& storage) const;
    // Stores `slots` in consecutive free slots, growing a subdirectory when none are left.
    void addSlots(ImageJournal& journal, DirectoryStorage storage,
                  const std::vector<Bytes>& slots) const;
    void addEntry(ImageJournal& journal, const DirectoryStorage& storage, ByteView entryData) const;
    struct FreeRun {
        std::vector<SlotRef> slots;
        // The slot to mark as the new end of the directory, when the run took the old one.
        std::optional<SlotRef> newEnd;
    };
    std::optional<FreeRun> findFreeRun(const DirectoryStorage& storage, std::size_t count) const;
    void growDirectory(ImageJournal& journal, DirectoryStorage& storage) const;
    // Throws diskFull in bytes (allocate counts clusters).
    std::vector<std::uint16_t> allocateClusters(std::int64_t count,
                                                std::int64_t requiredBytes) const;
    // Frees the chain of the entry at `ref` and marks its slots deleted.
    void removeEntryAt(ImageJournal& journal, const DirectoryStorage& storage,
                       const SlotRef& ref) const;
    Bytes newDirectoryCluster(std::uint16_t cluster, std::uint16_t parentCluster) const;

    // Where a listed entry sits now; nothing when the listing is stale.
    struct Placed {
        std::uint16_t directoryCluster = 0; // 0: the root
        DirectoryStorage storage;
        SlotRef ref;
        std::vector<SlotRef> longName;
    };
    std::optional<Placed> findPlaced(const FileEntry& entry) const;
    Placed placeOrThrow(const FileEntry& entry) const;
    // The directory `to`, refusing one that is `entry` itself or lies below it.
    std::pair<std::uint16_t, DirectoryStorage> resolveTarget(const FileEntry& entry,
                                                             const DiskPath& to) const;
    // What a copy or a move of `entry` into `to` works with; nothing when `to` is the
    // directory the entry is in already.
    struct Transfer {
        Placed from;
        std::uint16_t toCluster = 0;
        DirectoryStorage target;
        std::vector<DirectoryEntry> clashes;
    };
    std::optional<Transfer> prepareTransfer(const FileEntry& entry, const DiskPath& to) const;
    static DiskImageError clashOf(const FileEntry& entry, const DirectoryEntry& existing);
    void copyOne(ImageJournal& journal, const FileEntry& entry, const DiskPath& to,
                 const BatchOptions& options);
    void moveOne(ImageJournal& journal, const FileEntry& entry, const DiskPath& to);
    // Copies the data or tree an entry slot names; returns the copy's first cluster.
    std::uint16_t copyContents(ImageJournal& journal, ByteView slot, std::uint16_t newParent,
                               int depth, const std::stop_token& stop);
    std::uint16_t copyFileData(ImageJournal& journal, std::uint16_t start, std::uint32_t size,
                               const std::stop_token& stop);
    std::uint16_t copyDirectoryTree(ImageJournal& journal, std::uint16_t start,
                                    std::uint16_t newParent, int depth,
                                    const std::stop_token& stop);
    void pointParentAt(ImageJournal& journal, std::uint16_t directory, std::uint16_t parent) const;

    // Thrown where a stop request is seen; the batch runner undoes the batch.
    struct Cancelled {};
    static void throwIfStopped(const std::stop_token& stop);

    // A directory an operation writes into, its path looked up by the first item that
    // needs it and kept for the items after (the root has no first cluster), with the
    // names its entries answer to, read once for the whole batch.
    struct TargetDirectory {
        DiskPath path;
        std::optional<std::uint16_t> firstCluster = std::nullopt;
        bool resolved = false;
        std::optional<DirectoryNameIndex> names = std::nullopt;
        // The raw 8.3 keys the batch's items asked for so far, written or not.
        std::unordered_set<std::string> keysAsked = {};
    };
    DirectoryStorage storageOf(TargetDirectory& target) const;
    DirectoryNameIndex& namesIn(TargetDirectory& target, const DirectoryStorage& storage) const;

    // The names a host file is imported under.
    struct ImportName {
        std::string hostName;
        std::string base;
        std::string ext;
        Bytes name83;
        Bytes ext83;
    };
    static ImportName importNameOf(const std::string& hostName);
    // Free bytes, with `reclaimable` bytes of a replaced file counted as free.
    std::int64_t availableBytes(std::int64_t reclaimable) const;
    // The most bytes an imported file may have.
    std::uintmax_t importLimit(std::int64_t reclaimable) const;
    void checkFits(std::uintmax_t length, std::int64_t reclaimable) const;
    // The host file's length, once it is known to be a regular file that fits.
    std::uintmax_t checkImportable(const std::filesystem::path& from, const std::string& hostName,
                                   std::int64_t reclaimable) const;
    // The entries (places in `names`) an import under this name would be confused with.
    static std::vector<std::size_t> clashesOf(const DirectoryNameIndex& names,
                                              const ImportName& name);
    // The file the import replaces, if any (its place in `names`): the one file listed
    // under the host name or the new short name, or holding the new 8.3 key; throws on a
    // clash that may not be replaced.
    std::optional<std::size_t> checkNameClash(const DirectoryNameIndex& names,
                                              const ImportName& name, bool overwrite) const;
    // The bytes of the clusters the entry at `ref` holds.
    std::int64_t bytesHeldBy(const SlotRef& ref) const;
    // Points the entry at `ref` at new contents, keeping its names.
    void replaceFileEntry(ImageJournal& journal, const DirectoryStorage& storage,
                          const SlotRef& ref, std::uint32_t size, std::uint16_t firstCluster) const;
    // Allocates and writes the data's clusters; returns the first (0 for no data).
    std::uint16_t writeFileData(ImageJournal& journal, ByteView data, const std::stop_token& stop,
                                const ProgressCallback& progress) const;
    DirectoryEntry addFileEntry(ImageJournal& journal, const DirectoryStorage& storage,
                                const ImportName& name, std::uint32_t size,
                                std::uint16_t firstCluster) const;
    void importOne(ImageJournal& journal, const std::filesystem::path& from, TargetDirectory& to,
                   bool overwrite, const std::stop_token& stop, const ProgressCallback& progress);
    void deleteOne(ImageJournal& journal, const FileEntry& entry, bool recursive);
    void deleteDirectoryContents(ImageJournal& journal, std::uint16_t startCluster, int depth);
    using BatchStep = std::function<void(ImageJournal&, std::size_t)>;
    // Applies each item with its own rollback, then saves once (unless the mode discards
    // the batch); a failed save undoes the whole batch and marks every item failed, a stop
    // undoes it and marks it cancelled.
    BatchResult runBatch(const std::vector<std::string>& names, const BatchStep& apply,
                         const BatchOptions& options = {});

    std::shared_ptr<DiskImage> diskImage_;
};

} // namespace tamberlane

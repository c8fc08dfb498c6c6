#pragma once

#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DiskPath.h"
#include "engine/image/Bytes.h"
#include "engine/image/DiskImage.h"
#include "engine/image/DiskImageError.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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
    // One item per requested file, in request order.
    std::vector<BatchItemResult> items;

    bool allSucceeded() const;
    std::vector<std::string> failedNames() const;
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
    // Writes the file's bytes to `to`. Needs no write access to the image.
    void exportFile(const FileEntry& entry, const std::filesystem::path& to,
                    const ProgressCallback& progress = {}) const;

    void deleteEntry(const FileEntry& entry, bool recursive);
    // Deletes several entries (directories with their trees when `recursive`) and writes
    // the image file once, with the same rules as importFiles.
    BatchResult deleteEntries(const std::vector<FileEntry>& entries, bool recursive);
    void renameEntry(const FileEntry& entry, const std::string& newName,
                     const std::string& newExtension);
    void createDirectory(const std::string& name, const DiskPath& in);

    // Building blocks, reading the in-memory image.
    std::uint16_t findDirectoryCluster(const DiskPath& path) const;
    std::uint16_t findEntryInRootDirectory(const std::string& name) const;
    std::uint16_t findEntryInSubdirectory(const std::string& name, std::uint16_t dirCluster) const;
    bool entryExistsInRootDirectory(ByteView name, ByteView ext) const;
    bool entryExistsInSubdirectory(ByteView name, ByteView ext, std::uint16_t dirCluster) const;

    // A host file name split at its last full stop; a leading full stop starts the name,
    // not an extension (".profile" has none).
    static std::pair<std::string, std::string> splitHostFileName(const std::string& fileName);
    // The raw 8.3 key of a name; an empty name part becomes "_" (blanks are no name).
    static std::pair<Bytes, Bytes> shortNameKey(const std::string& name,
                                                const std::string& extension);

  private:
    // The storage of one directory: root sectors (lba) or subdirectory clusters.
    struct DirectoryStorage {
        bool isRoot = true;
        std::vector<std::int64_t> units;
    };
    struct SlotRef {
        std::size_t unitIndex = 0;
        std::size_t offset = 0;
        Bytes slot;
    };

    DirectoryStorage storageOfRoot() const;
    DirectoryStorage storageOfCluster(std::uint16_t dirCluster) const;
    DirectoryStorage storageOfDirectory(const DiskPath& path) const;
    Bytes readUnit(const DirectoryStorage& storage, std::size_t index) const;
    Bytes readAll(const DirectoryStorage& storage) const;
    bool unitIsStorable(const DirectoryStorage& storage, std::size_t index) const;
    void writeUnit(ImageJournal& journal, const DirectoryStorage& storage, std::size_t index,
                   ByteView bytes) const;
    std::uint16_t findSubdirectory(const DirectoryStorage& storage, const std::string& name) const;
    // The first occupied slot with this raw key before the end-of-directory mark.
    std::optional<SlotRef> findByKey(const DirectoryStorage& storage, ByteView name,
                                     ByteView ext) const;
    // The slot of a listed entry (name, extension and first cluster), or nothing.
    std::optional<SlotRef> locateEntry(const DirectoryStorage& storage,
                                       const DirectoryEntry& entry) const;
    void setSlotFirstByte(ImageJournal& journal, const DirectoryStorage& storage,
                          const SlotRef& ref, std::uint8_t value) const;
    // Marks deleted the long-name slots that belong to the entry at `ref` (run before its
    // short name changes): left alone they are orphans that disk checkers report.
    void deleteLongNameSlots(ImageJournal& journal, const DirectoryStorage& storage,
                             const SlotRef& ref) const;
    void addEntry(ImageJournal& journal, const DirectoryStorage& storage, ByteView entryData) const;

    void importOne(ImageJournal& journal, const std::filesystem::path& from, const DiskPath& to,
                   bool overwrite, const ProgressCallback& progress);
    void deleteOne(ImageJournal& journal, const FileEntry& entry, bool recursive);
    void deleteDirectoryContents(ImageJournal& journal, std::uint16_t startCluster, int depth);
    // Writes the FAT (when asked) and saves.
    void commit(ImageJournal& journal, bool writeFAT);
    using BatchStep = std::function<void(ImageJournal&, std::size_t)>;
    // Applies each item with its own rollback, then saves once; a failed save undoes the
    // whole batch and marks every item failed.
    BatchResult runBatch(const std::vector<std::string>& names, const BatchStep& apply);

    std::shared_ptr<DiskImage> diskImage_;
};

} // namespace tamberlane

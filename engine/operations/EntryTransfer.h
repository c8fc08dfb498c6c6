#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/BatchRunner.h"
#include "engine/operations/VolumeEditor.h"

#include <memory>
#include <optional>
#include <vector>

namespace tamberlane {

// Entries copied or moved between directories of one volume, with all their slots (8.3
// name, attributes, date, long name). An entry put into its own directory is left as it
// is; a directory put into itself or below fails. The image file is written once.
class EntryTransfer {
  public:
    explicit EntryTransfer(std::shared_ptr<DiskImage> image) : editor_(std::move(image)) {}

    // A name clash fails the item unless overwrite is set and both are files.
    BatchResult copyEntries(const std::vector<FileEntry>& entries, const DiskPath& to,
                            const BatchOptions& options);
    // Without copying data; a moved directory's ".." follows. A clash never overwrites.
    BatchResult moveEntries(const std::vector<FileEntry>& entries, const DiskPath& to,
                            const BatchOptions& options);

  private:
    struct Prepared {
        VolumeEditor::Placed from;
        DirectoryTable* target = nullptr;
        std::vector<std::size_t> clashes;
        // The slots to store there: the entry's own, with another alias where its own is
        // taken there by an entry of another long name.
        std::vector<Bytes> slots;
    };
    std::optional<Prepared> prepare(const FileEntry& entry, const DiskPath& to);
    void copyOne(const FileEntry& entry, const DiskPath& to, const BatchOptions& options);
    void moveOne(const FileEntry& entry, const DiskPath& to);
    std::uint16_t copyContents(ByteView slot, std::uint16_t newParent, int depth,
                               const BatchOptions& options);
    std::uint16_t copyFileData(std::uint16_t start, std::uint32_t size,
                               const std::stop_token& stop);
    std::uint16_t copyTree(std::uint16_t start, std::uint16_t newParent, int depth,
                           const BatchOptions& options);

    VolumeEditor editor_;
};

} // namespace tamberlane

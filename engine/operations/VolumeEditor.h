#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DirectoryTable.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/LongNamePolicy.h"
#include "engine/operations/BatchRunner.h"
#include "engine/operations/VolumeTransaction.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// What every verb (import, delete, rename, transfer, content edits) changes a volume
// through: the image, its rollback marks, the allocator, and the directories it has read,
// each read once for a whole batch and kept up to date by its own writes.
class VolumeEditor {
  public:
    explicit VolumeEditor(std::shared_ptr<DiskImage> image);

    DiskImage& image() const { return *image_; }

    // The directory a path names (a missing one in a change's words); `onStep` sees each
    // directory's first cluster on the way, as PathResolver does.
    DirectoryTable& directory(const DiskPath& path,
                              const std::function<void(std::uint16_t)>& onStep = {});
    DirectoryTable& directoryAt(std::optional<std::uint16_t> firstCluster);

    // Whether a new name in `target` gets long-name slots under `policy`; automatically
    // where the directory or the root already holds a long name.
    bool writesLongNames(LongNamePolicy policy, const DirectoryTable& target);

    // Where a listed entry is now: the same raw name and first cluster in the directory
    // its path names, and the same size. Nothing when the listing is stale.
    struct Placed {
        DirectoryTable* table = nullptr;
        std::size_t run = 0;
    };
    std::optional<Placed> locate(const FileEntry& entry);

    // Throws diskFull in bytes (the FAT counts clusters).
    std::vector<std::uint16_t> allocate(std::int64_t count, std::int64_t requiredBytes);
    // Frees a chain (nothing for a start below 2); a directory read from it is forgotten.
    void freeChain(std::uint16_t start);
    // The bytes of the clusters a chain holds; 0 for a broken one.
    std::int64_t bytesHeldBy(std::uint16_t start) const;
    // A new subdirectory's first cluster: "." and ".." and nothing after them.
    Bytes newDirectoryCluster(std::uint16_t cluster, std::uint16_t parent) const;
    // Paths name other directories once an entry was renamed, moved or removed.
    void forgetPaths() { paths_.clear(); }

    // One change, saved, or the image as it was. What was read of the volume is kept for
    // one call only: between calls, anyone may change the image.
    template <typename Apply> auto change(FATWrite fatWrite, Apply&& apply) {
        forget();
        try {
            return changeVolume(*image_, fatWrite,
                                [&](ImageJournal&) { return std::forward<Apply>(apply)(); });
        } catch (...) {
            forget();
            throw;
        }
    }
    BatchResult batch(const std::vector<std::string>& names,
                      const std::function<void(std::size_t)>& apply, const BatchOptions& options);

  private:
    void forget();

    std::shared_ptr<DiskImage> image_;
    // By first cluster; 0 is the root.
    std::map<std::uint16_t, std::unique_ptr<DirectoryTable>> tables_;
    std::map<std::vector<std::string>, std::optional<std::uint16_t>> paths_;
};

} // namespace tamberlane

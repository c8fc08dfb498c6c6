#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/FileLock.h"
#include "engine/base/Signal.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/ManualParameters.h"
#include "engine/fat/NewImageFile.h"
#include "engine/image/ImageFileReader.h"
#include "engine/image/VolumeChoice.h"
#include "engine/image/formats/D88Format.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tamberlane {

// Owns the open image and the advisory lock on its file.
class DiskImageService {
  public:
    DiskImageService() = default;
    ~DiskImageService();
    DiskImageService(const DiskImageService&) = delete;
    DiskImageService& operator=(const DiskImageService&) = delete;

    std::shared_ptr<DiskImage> currentImage() const { return currentImage_; }
    // Descriptor holding the lock on the current image file, or -1.
    int fileDescriptor() const;

    // Opens `url` and makes it current. A failure leaves the previous image and its lock
    // as they were. `volume` picks a disk of a multi-disk D88 file or a FAT partition of
    // a partitioned hard disk (as partitionsOf lists them).
    // `readOnly` opens for reading only, even while another program holds the file
    // locked (the user asked for it after a lock conflict).
    std::shared_ptr<DiskImage>
    open(const std::filesystem::path& url,
         const std::optional<ManualParameters>& manualParams = std::nullopt,
         VolumeChoice volume = {}, bool readOnly = false);
    // The same in two steps, so the slow part can run off the main thread: read, lock
    // and parse (touches nothing of the current image), then make the result current.
    // A prepared image that is never adopted releases its lock when it goes.
    struct PreparedOpen {
        std::shared_ptr<DiskImage> image;
        std::shared_ptr<FileLock> lock;
    };
    PreparedOpen prepareOpen(const std::filesystem::path& url,
                             const std::optional<ManualParameters>& manualParams = std::nullopt,
                             VolumeChoice volume = {}, bool readOnly = false) const;
    std::shared_ptr<DiskImage> adopt(PreparedOpen prepared);
    // Releases the lock and drops the current image.
    void close();
    void releaseLock();

    std::vector<FileEntry> listDirectory(const DiskPath& path) const;
    Bytes readFile(const FileEntry& entry) const;

    static bool isValidBPB(ByteView sector);
    static std::optional<std::int64_t> findBPBInImage(ByteView fileData, std::int64_t dataOffset,
                                                      std::int64_t sectorSize,
                                                      std::int64_t maxSectors,
                                                      bool requireJumpInstruction);
    static std::shared_ptr<DiskImage> openWithManualParams(const std::filesystem::path& url,
                                                           PagedBytes data,
                                                           const ManualParameters& params,
                                                           bool isReadOnly);
    // Parses a whole container file into an image (no lock, not made current).
    static std::shared_ptr<DiskImage> parseImage(const std::filesystem::path& url,
                                                 PagedBytes fileData, bool isReadOnly,
                                                 VolumeChoice volume = {});
    // The FAT partitions of a partitioned hard-disk image, in the order an open's
    // VolumeChoice counts them; empty when the image has no partition table. Reads
    // without a lock, like a D88 disk list. Hostile tables throw DiskImageError.
    static std::vector<PartitionInfo> partitionsOf(const std::filesystem::path& url);
    static std::vector<PartitionInfo> partitionsIn(const std::filesystem::path& url,
                                                   const ImageFileReader& file);
    // The complete disks of a D88 file, read without a lock like partitionsOf. A file
    // holding none throws its first header's fault when it has one, else gives none.
    static std::vector<D88Disk> disksOf(const std::filesystem::path& url);
    static std::vector<PartitionInfo> partitionsIn(const std::filesystem::path& url,
                                                   ByteView fileData) {
        return partitionsIn(url, ImageFileReader(fileData));
    }

    // The whole file of a new formatted image (see NewImage.h).
    static Bytes createNewImage(const NewImageParameters& params) {
        return tamberlane::createNewImage(params);
    }

    // Emitted after every change of the current image.
    Signal<>& currentImageChanged() { return currentImageChanged_; }

  private:
    struct ContainerSlice {
        ImageFileReader file;
        std::int64_t offset = 0;
    };
    static ContainerSlice chooseDisk(const std::filesystem::path& url,
                                     const ImageFileReader& fileData, std::optional<int> diskIndex);
    struct LockedFile {
        std::shared_ptr<FileLock> lock;
        bool isReadOnly = false;
        // Why the file is opened for reading only although it may be written.
        std::optional<DiskImageError> refusal = std::nullopt;
    };
    LockedFile lockFile(const std::filesystem::path& url, bool readOnly) const;
    void setCurrent(std::shared_ptr<DiskImage> image, std::shared_ptr<FileLock> lock);
    const DiskImage& requireImage() const;

    std::shared_ptr<DiskImage> currentImage_;
    std::shared_ptr<FileLock> lock_;
    Signal<> currentImageChanged_;
};

} // namespace tamberlane

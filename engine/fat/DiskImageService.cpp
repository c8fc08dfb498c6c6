#include "engine/fat/DiskImageService.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/FileExtension.h"
#include "engine/base/FilePages.h"
#include "engine/base/Translation.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/PathResolver.h"
#include "engine/image/BootSectorSearch.h"
#include "engine/image/DiskImageParser.h"
#include "engine/image/PartitionTable.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/FormatTable.h"
#include "engine/image/formats/PlainImageFormat.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane {

namespace {

bool isPermissionFailure(int error) {
    return error == EACCES || error == EROFS || error == EPERM;
}

// Without O_NONBLOCK, opening a FIFO given as the image waits for a writer for ever; what
// is not a regular file is refused once the pages are set up.
int openForReading(const std::filesystem::path& url) {
    const int fd = ::open(url.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Listings that only look take no lock, so they also work on a file another program has
// open; what they read is read on demand like an open image.
PagedBytes readWithoutLock(const std::filesystem::path& url) {
    const int fd = openForReading(url);
    const FileLock closer(fd, FileLock::Mode::unlocked);
    return FilePages::bytesOf(std::make_shared<FilePages>(closer));
}

constexpr Text bootSectorReadFailure = N_("ブートセクタの読み取りに失敗しました");
// A header states the geometry PC-98 partitions are placed by; a headerless file's is only
// a guess from its size, so the table is read as if none were given.
std::optional<DiskGeometry> statedGeometry(const DiskImageFormat& format,
                                           const DiskGeometry& geometry) {
    if (!capabilitiesOf(format).statesGeometry) {
        return std::nullopt;
    }
    return geometry;
}

// The partitions of a disk whose first sector (at `offset`) is not a boot sector itself.
std::vector<PartitionInfo> partitionsAt(const DiskImageFormat& format, const ImageFileReader& data,
                                        const DiskGeometry& geometry, std::int64_t offset) {
    const std::int64_t sectorSize = geometry.bytesPerSector;
    if (!capabilitiesOf(format).mayHoldPartitionTable || sectorSize <= 0 ||
        !data.holds(offset, sectorSize) ||
        BootSectorSearch::isValidBPB(data.read(offset, sectorSize))) {
        return {};
    }
    return PartitionTable::read(data, offset, statedGeometry(format, geometry));
}

DiskImageError partitionOutOfRange(int index, std::size_t count) {
    return DiskImageError::headerParseFailure(
        translate("指定されたパーティション番号が範囲外です: %1$s（パーティション数: %2$s）",
                  {std::int64_t{index} + 1, count}));
}

// A disk without a table counts as its one volume, as a one-disk D88 file does.
std::optional<PartitionInfo> choosePartition(const std::vector<PartitionInfo>& partitions,
                                             std::optional<int> index) {
    const int chosen = index.value_or(0);
    const std::size_t count = std::max<std::size_t>(1, partitions.size());
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= count) {
        throw partitionOutOfRange(chosen, count);
    }
    if (partitions.empty()) {
        return std::nullopt;
    }
    return partitions[static_cast<std::size_t>(chosen)];
}

} // namespace

DiskImageService::~DiskImageService() {
    releaseLock();
}

int DiskImageService::fileDescriptor() const {
    return lock_ ? lock_->fileDescriptor() : -1;
}

void DiskImageService::releaseLock() {
    if (lock_) {
        lock_->release();
        lock_.reset();
    }
}

void DiskImageService::close() {
    releaseLock();
    currentImage_.reset();
    currentImageChanged_.emit();
}

DiskImageService::LockedFile DiskImageService::lockFile(const std::filesystem::path& url,
                                                        bool readOnly) const {
    // flock conflicts between two descriptors of one process: reopening the file that
    // is open already keeps the lock it holds.
    if (lock_ && lock_->fileDescriptor() >= 0 && lock_->refersTo(url)) {
        // The file is read again: what it holds now is what the new image is compared with.
        lock_->recordIdentity();
        const bool lockedReadOnly = readOnly || lock_->mode() != FileLock::Mode::exclusive;
        if (!lockedReadOnly && lock_->otherWriterHoldsFile()) {
            return {lock_, false, DiskImageError::imageFileOpenForWriting()};
        }
        return {lock_, lockedReadOnly};
    }
    if (readOnly) {
        const int fd = openForReading(url);
        // A shared lock where one can be had keeps a writer from starting meanwhile;
        // where another program writes, reading goes ahead without one.
        const bool shared = flock(fd, LOCK_SH | LOCK_NB) == 0;
        return {std::make_shared<FileLock>(fd, shared ? FileLock::Mode::shared
                                                      : FileLock::Mode::unlocked),
                true};
    }
    // Read-only even for an image we change: saves write a new file, and a descriptor of
    // ours open for writing would hide every other writer from the kernel's lease check.
    const int fd = openForReading(url);
    // A save replaces the file from its directory, but a file its owner may not write is
    // meant to stay as it is. Root may write any file; one whose mode lets nobody write
    // it is still kept.
    struct stat st {};
    bool readOnlyFile =
        faccessat(AT_FDCWD, url.c_str(), W_OK, AT_EACCESS) != 0 && isPermissionFailure(errno);
    if (!readOnlyFile && geteuid() == 0 && fstat(fd, &st) == 0 && (st.st_mode & 0222) == 0) {
        readOnlyFile = true;
    }
    if (!readOnlyFile && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        auto lock = std::make_shared<FileLock>(fd, FileLock::Mode::exclusive);
        // An emulator writes in place and takes no lock: while one holds the file open for
        // writing, our changes and its own would overwrite each other.
        if (lock->otherWriterHoldsFile()) {
            lock->downgradeToShared();
            return {std::move(lock), false, DiskImageError::imageFileOpenForWriting()};
        }
        return {std::move(lock), false};
    }
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
        return {std::make_shared<FileLock>(fd, FileLock::Mode::shared), true};
    }
    ::close(fd);
    throw DiskImageError::hostFileLocked();
}

void DiskImageService::setCurrent(std::shared_ptr<DiskImage> image,
                                  std::shared_ptr<FileLock> lock) {
    if (lock_ && lock_ != lock) {
        lock_->release();
    }
    lock_ = std::move(lock);
    currentImage_ = std::move(image);
    currentImageChanged_.emit();
}

std::shared_ptr<DiskImage>
DiskImageService::open(const std::filesystem::path& url,
                       const std::optional<ManualParameters>& manualParams, VolumeChoice volume,
                       bool readOnly) {
    return adopt(prepareOpen(url, manualParams, volume, readOnly));
}

DiskImageService::PreparedOpen
DiskImageService::prepareOpen(const std::filesystem::path& url,
                              const std::optional<ManualParameters>& manualParams,
                              VolumeChoice volume, bool readOnly) const {
    LockedFile locked = lockFile(url, readOnly);
    // Only what the headers, the boot sector, the FAT and the directories listed need is
    // read now; the data area when a file is read or changed.
    auto pages = std::make_shared<FilePages>(*locked.lock);
    PagedBytes fileData = FilePages::bytesOf(pages);
    // Shares its pages with the image's: a save writes only the pages changed since.
    PagedBytes asRead = fileData;
    std::shared_ptr<DiskImage> image =
        manualParams
            ? openWithManualParams(url, std::move(fileData), *manualParams, locked.isReadOnly)
            : parseImage(url, std::move(fileData), locked.isReadOnly, volume);
    image->file().attach(locked.lock, locked.refusal, std::move(asRead), std::move(pages));
    return {std::move(image), std::move(locked.lock)};
}

std::shared_ptr<DiskImage> DiskImageService::adopt(PreparedOpen prepared) {
    setCurrent(prepared.image, std::move(prepared.lock));
    return prepared.image;
}

// The bytes of the disk a D88 file is opened at: the chosen one of its disk list, or
// the file from its start when no disk is chosen. Other containers hold one volume.
DiskImageService::ContainerSlice DiskImageService::chooseDisk(const std::filesystem::path& url,
                                                              const ImageFileReader& fileData,
                                                              std::optional<int> diskIndex) {
    if (!diskIndex) {
        return {fileData, 0};
    }
    const bool listsDisks = capabilitiesOfExtension(lowerExtension(url)).holdsSeveralDisks;
    const auto disks =
        listsDisks ? D88ImageFormat::detectMultipleDisks(fileData) : std::vector<D88Disk>{};
    // A file whose only disk states no usable size still opens as its first disk.
    const std::int64_t count =
        listsDisks ? std::max<std::int64_t>(1, static_cast<std::int64_t>(disks.size())) : 1;
    if (*diskIndex < 0 || *diskIndex >= count) {
        throw DiskImageError::headerParseFailure(
            translate("指定されたディスク番号が範囲外です: %1$s（ディスク数: %2$s）",
                      {std::int64_t{*diskIndex} + 1, count}));
    }
    if (!listsDisks || (disks.empty() && *diskIndex == 0)) {
        return {fileData, 0};
    }
    const D88Disk& disk = disks[static_cast<std::size_t>(*diskIndex)];
    return {fileData.part(disk.offset, static_cast<std::int64_t>(disk.header.diskSize)),
            disk.offset};
}

std::shared_ptr<DiskImage> DiskImageService::parseImage(const std::filesystem::path& url,
                                                        PagedBytes fileData, bool isReadOnly,
                                                        VolumeChoice volume) {
    const ImageFileReader wholeFile(fileData);
    const ContainerSlice slice = chooseDisk(url, wholeFile, volume.disk);
    const ImageFileReader& file = slice.file;
    const auto format = DiskImageParser::detectFormat(url, file);
    const DiskGeometry geometry = format->parseGeometry(file);
    std::int64_t offset = format->dataOffset(file);
    const bool writeProtected = DiskImageParser::extractWriteProtectStatus(*format);

    // Containers that hold the volume as it is are read in place; the pages of the file
    // become the image's. Only a volume rebuilt from track records is a new buffer.
    std::optional<std::vector<bool>> storedSectors;
    DiskImageFormat::SectorRecordFlaws flaws;
    std::optional<Bytes> flat = format->extractFlatVolume(file, geometry);
    const ImageFileReader working = flat ? ImageFileReader(*flat) : wholeFile;
    if (flat) {
        storedSectors = format->storedSectors(file, geometry);
        flaws = format->sectorRecordFlaws(file, geometry);
        offset = 0;
    }
    const std::int64_t workingSize = working.size();
    const std::int64_t sectorSize = geometry.bytesPerSector;
    if (sectorSize <= 0 || !rangeFits(offset, sectorSize, workingSize)) {
        throw DiskImageError::headerParseFailure(bootSectorReadFailure);
    }

    const std::optional<PartitionInfo> partition =
        choosePartition(partitionsAt(*format, working, geometry, offset), volume.partition);
    if (partition) {
        offset = partition->offset;
        if (!rangeFits(offset, sectorSize, workingSize)) {
            throw DiskImageError::headerParseFailure(bootSectorReadFailure);
        }
    }

    std::int64_t bootOffset = offset;
    std::optional<std::int64_t> searchedBootOffset;
    if (format->volumeFoundBySearch() && !partition) {
        searchedBootOffset = offset;
    }
    const auto sectorAt = [&](std::int64_t at) { return working.read(at, sectorSize); };
    if (!isValidBPB(sectorAt(offset))) {
        auto found = BootSectorSearch::findBPBInImage(working, offset, sectorSize, 300, true);
        if (!found && capabilitiesOf(*format).bootSectorMayLackJump) {
            found = BootSectorSearch::findBPBInImage(working, offset, sectorSize, 300, false);
        }
        bootOffset = found.value_or(offset);
        searchedBootOffset = found;
    }
    if (!rangeFits(bootOffset, sectorSize, workingSize)) {
        throw DiskImageError::headerParseFailure(bootSectorReadFailure);
    }
    // A boot sector of its own always wins over parameters worked out from the FAT.
    const auto inferred = format->inferredParameters();
    const bool parametersInferred = inferred && !isValidBPB(sectorAt(bootOffset));
    const BIOSParameterBlock bpb = parametersInferred ? *inferred : parseBPB(sectorAt(bootOffset));
    if (partition &&
        !rangeFits(bootOffset - partition->offset, bpb.volumeBytes(), partition->size)) {
        throw DiskImageError::headerParseFailure(
            translate("ボリュームがパーティションの範囲を超えています（パーティション: %1$s）",
                      {partition->number}));
    }
    const FATType fatType = FATParser::fatTypeForClusterCount(calculateTotalClusters(bpb));
    ImageLayout layout{.url = url,
                       .format = format,
                       .geometry = geometry,
                       .bpb = bpb,
                       .fatType = fatType,
                       .isWriteProtected = writeProtected,
                       .isReadOnly = isReadOnly,
                       .dataOffset = bootOffset,
                       .storedSectors = std::move(storedSectors),
                       .sectorsHeldTwice = std::move(flaws.heldTwice),
                       .sectorsRecordedBad = std::move(flaws.recordedBad),
                       .d88DiskOffset = slice.offset,
                       .partition = partition,
                       .parametersInferred = parametersInferred,
                       .searchedBootOffset = searchedBootOffset};
    PagedBytes held = flat ? PagedBytes(*flat) : fileData;
    layout.fatTable = FatArea(bpb).decode(held, bootOffset, fatType);
    if (flat) {
        layout.originalFileData = std::move(fileData);
    }
    return DiskImage::create(std::move(layout), std::move(held));
}

std::vector<PartitionInfo> DiskImageService::partitionsIn(const std::filesystem::path& url,
                                                          const ImageFileReader& file) {
    const auto format = DiskImageParser::detectFormat(url, file);
    if (!capabilitiesOf(*format).mayHoldPartitionTable) {
        return {};
    }
    return partitionsAt(*format, file, format->parseGeometry(file), format->dataOffset(file));
}

std::vector<PartitionInfo> DiskImageService::partitionsOf(const std::filesystem::path& url) {
    const PagedBytes data = readWithoutLock(url);
    return partitionsIn(url, ImageFileReader(data));
}

std::vector<D88Disk> DiskImageService::disksOf(const std::filesystem::path& url) {
    const PagedBytes data = readWithoutLock(url);
    const ImageFileReader file(data);
    std::vector<D88Disk> disks = D88ImageFormat::detectMultipleDisks(file);
    if (disks.empty()) {
        // Why, when the first header itself is bad; otherwise its stated size is wrong.
        D88ImageFormat::parseHeader(file);
    }
    return disks;
}

std::shared_ptr<DiskImage> DiskImageService::openWithManualParams(const std::filesystem::path& url,
                                                                  PagedBytes fileData,
                                                                  const ManualParameters& params,
                                                                  bool isReadOnly) {
    const ImageFileReader data(fileData);
    const std::int64_t size = data.size();
    if (params.bytesPerSector <= 0 || !rangeFits(params.dataOffset, params.bytesPerSector, size)) {
        throw DiskImageError::headerParseFailure(
            translate("指定されたデータオフセットでブートセクタを読み取れません"));
    }
    const BIOSParameterBlock bpb = parseBPB(data.read(params.dataOffset, params.bytesPerSector));
    const DiskGeometry geometry{params.heads, params.cylinders, params.sectorsPerTrack,
                                params.bytesPerSector};
    const std::string ext = upperExtension(url);
    ImageLayout layout{.url = url,
                       .format = std::make_shared<PlainImageFormat>(size - params.dataOffset,
                                                                    ext.empty() ? "BIN" : ext),
                       .geometry = geometry,
                       .bpb = bpb,
                       .fatType = params.fatType,
                       .isReadOnly = isReadOnly,
                       .dataOffset = params.dataOffset};
    layout.fatTable = FatArea(bpb).decode(fileData, params.dataOffset, params.fatType);
    return DiskImage::create(std::move(layout), std::move(fileData));
}

bool DiskImageService::isValidBPB(ByteView sector) {
    return BootSectorSearch::isValidBPB(sector);
}

std::optional<std::int64_t> DiskImageService::findBPBInImage(ByteView fileData,
                                                             std::int64_t dataOffset,
                                                             std::int64_t sectorSize,
                                                             std::int64_t maxSectors,
                                                             bool requireJumpInstruction) {
    return BootSectorSearch::findBPBInImage(ImageFileReader(fileData), dataOffset, sectorSize,
                                            maxSectors, requireJumpInstruction);
}

const DiskImage& DiskImageService::requireImage() const {
    if (!currentImage_) {
        throw DiskImageError::ioError(translate("ディスクイメージが開かれていません"), -1);
    }
    return *currentImage_;
}

std::vector<FileEntry> DiskImageService::listDirectory(const DiskPath& path) const {
    return PathResolver(requireImage()).list(path);
}

Bytes DiskImageService::readFile(const FileEntry& entry) const {
    return DirectoryReader::readFile(requireImage(), entry.directoryEntry);
}

} // namespace tamberlane

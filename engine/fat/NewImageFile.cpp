#include "engine/fat/NewImageFile.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/ConvertedImageCheck.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/NewVolume.h"

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tamberlane {

namespace {

// Thrown through the file write, which then removes what it wrote.
struct Stopped {};

// Where the disk lies in the image's bytes.
struct DiskRange {
    std::int64_t start = 0;
    std::int64_t length = 0;
};

DiskRange diskToConvert(const DiskImage& image, ConvertFormat format) {
    const DiskGeometry& geometry = image.layout().geometry;
    if (!isConversionOffered(geometry, format)) {
        throw DiskImageError::unsupportedFormat(conversionNotOfferedText(geometry, format));
    }
    if (image.layout().partition && format == ConvertFormat::bin &&
        geometry.bytesPerSector != 512) {
        throw DiskImageError::sectorSizeNotRecordable(rawValue(format), geometry.bytesPerSector);
    }
    const std::int64_t dataSize = static_cast<std::int64_t>(image.data().size());
    // The geometry is the whole disk's: a partitioned disk is converted from its first
    // sector, with its table and every partition, not from the partition that is open.
    std::int64_t diskStart = image.layout().dataOffset;
    if (image.layout().partition) {
        diskStart = image.layout().format->dataOffset(ImageFileReader(image.data()));
    }
    // Manual parameters (or a header) can state a geometry smaller than the volume the
    // boot sector describes; writing only the geometry would cut the files at its end.
    const std::int64_t volumeEnd =
        image.layout().dataOffset - diskStart + image.layout().bpb.volumeBytes();
    if (volumeEnd > geometry.totalBytes()) {
        throw DiskImageError::volumeExceedsGeometry(volumeEnd, geometry.totalBytes());
    }
    const std::int64_t start = std::clamp<std::int64_t>(diskStart, 0, dataSize);
    return {start, std::min(std::max<std::int64_t>(geometry.totalBytes(), 0), dataSize - start)};
}

void refuseSourceAsTarget(const DiskImage& source, const std::filesystem::path& path) {
    struct stat from {};
    struct stat to {};
    const bool sameAsURL = stat(source.layout().url.c_str(), &from) == 0 &&
                           stat(path.c_str(), &to) == 0 && from.st_dev == to.st_dev &&
                           from.st_ino == to.st_ino;
    if (sameAsURL || (source.file().lock() && source.file().lock()->refersTo(path))) {
        throw DiskImageError::sameFileAsSource(path.string());
    }
}

// The descriptor of the source's file where it holds the image's bytes as they are, so
// that the disk can be copied from it; -1 where the bytes were rebuilt from records or
// the file is no longer what was read.
int sourceFileHoldingData(const DiskImage& image) {
    const auto& lock = image.file().lock();
    if (image.layout().originalFileData || !lock || lock->fileDescriptor() < 0 ||
        image.file().refusal() || lock->check(image.layout().url) != ImageFileState::unchanged) {
        return -1;
    }
    return lock->fileDescriptor();
}

} // namespace

Bytes createNewImage(const NewImageParameters& params) {
    if (!isSizeOffered(params.format, params.diskSize)) {
        throw DiskImageError::unsupportedFormat(sizeNotOfferedText(params.format, params.diskSize));
    }
    return writeNewContainer(params.format, buildNewVolume(params.diskSize),
                             sizeSpec(params.diskSize).geometry);
}

bool convertImage(const DiskImage& image, ConvertFormat format, const std::filesystem::path& path,
                  ExistingTarget existing, std::stop_token stop) {
    const DiskRange disk = diskToConvert(image, format);
    const DiskGeometry& geometry = image.layout().geometry;
    refuseSourceAsTarget(image, path);
    const std::optional<Bytes> header = convertedHeader(format, disk.length, geometry);
    // Containers that rebuild the volume as records hold floppies of a few MiB: built whole.
    const Bytes built =
        header ? Bytes()
               : writeConvertedContainer(format,
                                         image.data().slice(static_cast<std::size_t>(disk.start),
                                                            static_cast<std::size_t>(disk.length)),
                                         geometry);
    std::vector<ContentPiece> pieces;
    const int sourceFile = header ? sourceFileHoldingData(image) : -1;
    if (!header) {
        pieces.emplace_back(ByteView(built));
    } else if (sourceFile >= 0) {
        pieces.emplace_back(ByteView(*header));
        pieces.emplace_back(FileRange{sourceFile, disk.start, disk.length});
    } else {
        pieces.emplace_back(ByteView(*header));
        pieces.emplace_back(PagedRange{&image.data(), disk.start, disk.length});
    }
    const auto check = [&](int fd) {
        if (stop.stop_requested()) {
            throw Stopped();
        }
        // An emulator writing the source in place meanwhile would leave a mix of both
        // versions in the copy.
        if (sourceFile >= 0 && sourceFileHoldingData(image) < 0) {
            throw DiskImageError::imageFileChanged();
        }
        checkConvertedFile(image, format, fd);
    };
    refuseExistingTarget(path, existing);
    if (stop.stop_requested()) {
        return false;
    }
    try {
        writeFileAtomically(path, pieces, check, existing);
    } catch (const Stopped&) {
        return false;
    }
    return true;
}

} // namespace tamberlane

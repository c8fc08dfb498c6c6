#include "engine/image/NewImage.h"
#include "engine/image/formats/FormatTable.h"

#include "engine/base/AtomicFile.h"
#include "engine/base/DiskImageError.h"
#include "engine/base/FileExtension.h"
#include "engine/base/Translation.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tamberlane {

namespace {

const ContainerWriting& writingOf(NewImageFormat format) {
    return *registrationOf(format).writing;
}

bool offersDisk(OfferedDisks offered, const DiskGeometry& geometry) {
    switch (offered) {
    case OfferedDisks::all:
        return true;
    case OfferedDisks::floppies:
        return isFloppyGeometry(geometry);
    case OfferedDisks::hardDisks:
        return !isFloppyGeometry(geometry);
    }
    return false;
}

bool offersGeometry(const ContainerWriting& writing, const DiskGeometry& geometry) {
    return offersDisk(writing.offered, geometry) &&
           (!writing.readsBack || writing.readsBack(geometry));
}

std::string joinLabels(const std::vector<std::string>& labels) {
    std::string out;
    for (const std::string& label : labels) {
        out += (out.empty() ? "" : ", ") + label;
    }
    return out;
}

} // namespace

const std::vector<NewImageFormat>& allNewImageFormats() {
    static const std::vector<NewImageFormat> all = [] {
        std::vector<NewImageFormat> formats;
        for (const FormatRegistration& row : formatTable()) {
            if (row.writing) {
                formats.push_back(row.writing->key);
            }
        }
        return formats;
    }();
    return all;
}

const std::vector<DiskSize>& allDiskSizes() {
    static const std::vector<DiskSize> all = {DiskSize::kb640, DiskSize::mb1_2, DiskSize::mb1_44,
                                              DiskSize::mb10,  DiskSize::mb20,  DiskSize::mb40};
    return all;
}

std::string rawValue(NewImageFormat format) {
    return registrationOf(format).name;
}

std::string fileExtension(NewImageFormat format) {
    return asciiLowerCase(rawValue(format));
}

std::string rawValue(DiskSize size) {
    return sizeSpec(size).label;
}

std::optional<NewImageFormat> newImageFormatForExtension(std::string_view ext) {
    for (NewImageFormat format : allNewImageFormats()) {
        if (asciiLowerCase(ext) == fileExtension(format)) {
            return format;
        }
    }
    return std::nullopt;
}

const DiskSizeSpec& sizeSpec(DiskSize size) {
    static const std::array<DiskSizeSpec, 6> sizeTable = {{
        {"640KB (2DD)", {2, 80, 8, 512}, 1280, 112, 0xFD, 2, 2},
        {"1.2MB (2HD)", {2, 77, 8, 1024}, 1232, 192, 0xFE, 1, 3},
        {"1.44MB (2HD-AT)", {2, 80, 18, 512}, 2880, 224, 0xF0, 1, 2},
        {"10MB (HD)", {4, 153, 17, 512}, 10404, 512, 0xF8, 4, 2},
        {"20MB (HD)", {4, 306, 17, 512}, 20808, 512, 0xF8, 4, 2},
        {"40MB (HD)", {8, 306, 17, 512}, 41616, 512, 0xF8, 8, 2},
    }};
    return sizeTable[static_cast<std::size_t>(size)];
}

std::int64_t newVolumeBytes(DiskSize size) {
    const DiskSizeSpec& layout = sizeSpec(size);
    return layout.totalSectors * layout.geometry.bytesPerSector;
}

std::string capacityText(DiskSize size) {
    constexpr std::int64_t kilo = 1024;
    constexpr std::int64_t mega = kilo * kilo;
    const std::int64_t bytes = newVolumeBytes(size);
    if (bytes < 2 * mega) {
        return std::to_string((bytes + kilo / 2) / kilo) + " KB";
    }
    const std::int64_t tenths = (bytes * 10 + mega / 2) / mega;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

std::vector<DiskSize> availableSizes(NewImageFormat format) {
    std::vector<DiskSize> sizes;
    for (DiskSize size : allDiskSizes()) {
        if (isSizeOffered(format, size)) {
            sizes.push_back(size);
        }
    }
    return sizes;
}

bool isSizeOffered(NewImageFormat format, DiskSize size) {
    return offersGeometry(writingOf(format), sizeSpec(size).geometry);
}

std::vector<ConvertFormat> availableFormats(const std::optional<DiskGeometry>& geometry) {
    if (!geometry) {
        return allNewImageFormats();
    }
    std::vector<ConvertFormat> formats;
    for (ConvertFormat format : allNewImageFormats()) {
        if (isConversionOffered(*geometry, format)) {
            formats.push_back(format);
        }
    }
    return formats;
}

bool isConversionOffered(const DiskGeometry& geometry, ConvertFormat format) {
    return offersGeometry(writingOf(format), geometry);
}

Bytes writeNewContainer(NewImageFormat format, ByteView volume, const DiskGeometry& geometry) {
    return writingOf(format).newImage(volume, geometry);
}

Bytes writeConvertedContainer(ConvertFormat format, ByteView volume, const DiskGeometry& geometry) {
    return writingOf(format).converter()(volume, geometry);
}

std::optional<Bytes> convertedHeader(ConvertFormat format, std::int64_t volumeSize,
                                     const DiskGeometry& geometry) {
    const ContainerHeader header = writingOf(format).conversionHeader;
    if (header == nullptr) {
        return std::nullopt;
    }
    return header(volumeSize, geometry);
}

std::string sizeNotOfferedText(NewImageFormat format, DiskSize size) {
    std::vector<std::string> labels;
    for (DiskSize offered : availableSizes(format)) {
        labels.push_back(rawValue(offered));
    }
    return translate("%1$s形式では%2$sのイメージは作成できません（作成できるサイズ: %3$s）",
                     {rawValue(format), rawValue(size), joinLabels(labels)});
}

std::string conversionNotOfferedText(const DiskGeometry& geometry, ConvertFormat format) {
    std::vector<std::string> names;
    for (ConvertFormat offered : availableFormats(geometry)) {
        names.push_back(rawValue(offered));
    }
    return translate("このディスクイメージは%1$s形式に変換できません（変換できる形式: %2$s）",
                     {rawValue(format), joinLabels(names)});
}

std::string targetLabel(ConvertFormat format) {
    return registrationOf(format).targetLabel;
}

void refuseExistingTarget(const std::filesystem::path& path, ExistingTarget existing) {
    // Refused before anything is written, so that an existing file locked by another
    // program is named as existing; the rename refuses one that appears meanwhile.
    std::error_code ec;
    if (existing == ExistingTarget::keep &&
        std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        throw DiskImageError::targetExists(path.string());
    }
}

void writeImageFile(const std::filesystem::path& path, ByteView bytes, ExistingTarget existing) {
    refuseExistingTarget(path, existing);
    writeFileAtomically(path, bytes, LockedTarget::refuse, nullptr, existing);
}

} // namespace tamberlane

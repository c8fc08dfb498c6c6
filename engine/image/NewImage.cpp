#include "engine/image/NewImage.h"
#include "engine/image/formats/FormatTable.h"

#include "engine/base/AtomicFile.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImage.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/DCPFormat.h"
#include "engine/image/formats/DIMFormat.h"
#include "engine/image/formats/FDIFormat.h"
#include "engine/image/formats/HDIFormat.h"
#include "engine/image/formats/NFDFormat.h"
#include "engine/image/formats/NHDFormat.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace tamberlane {

namespace {

constexpr std::array<const char*, 8> formatNames = {"BIN", "D88", "FDI", "HDI",
                                                    "NFD", "NHD", "DIM", "DCP"};
constexpr std::array<const char*, 8> formatExtensions = {"bin", "d88", "fdi", "hdi",
                                                         "nfd", "nhd", "dim", "dcp"};

std::size_t indexOf(NewImageFormat format) {
    return static_cast<std::size_t>(format);
}
std::size_t indexOf(ConvertFormat format) {
    return static_cast<std::size_t>(format);
}

bool isFloppySize(DiskSize size) {
    return size == DiskSize::kb640 || size == DiskSize::mb1_2 || size == DiskSize::mb1_44;
}

bool isFloppyGeometry(const DiskGeometry& g) {
    return g.heads < 3 && g.cylinders < 83;
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
    static const std::vector<NewImageFormat> all = {
        NewImageFormat::bin, NewImageFormat::d88, NewImageFormat::fdi, NewImageFormat::hdi,
        NewImageFormat::nfd, NewImageFormat::nhd, NewImageFormat::dim, NewImageFormat::dcp};
    return all;
}

const std::vector<ConvertFormat>& allConvertFormats() {
    static const std::vector<ConvertFormat> all = {
        ConvertFormat::bin, ConvertFormat::d88, ConvertFormat::fdi, ConvertFormat::hdi,
        ConvertFormat::nfd, ConvertFormat::nhd, ConvertFormat::dim, ConvertFormat::dcp};
    return all;
}

const std::vector<DiskSize>& allDiskSizes() {
    static const std::vector<DiskSize> all = {DiskSize::kb640, DiskSize::mb1_2, DiskSize::mb1_44,
                                              DiskSize::mb10,  DiskSize::mb20,  DiskSize::mb40};
    return all;
}

std::string rawValue(NewImageFormat format) {
    return formatNames[indexOf(format)];
}
std::string rawValue(ConvertFormat format) {
    return formatNames[indexOf(format)];
}
std::string fileExtension(NewImageFormat format) {
    return formatExtensions[indexOf(format)];
}
std::string fileExtension(ConvertFormat format) {
    return formatExtensions[indexOf(format)];
}

std::string rawValue(DiskSize size) {
    return sizeSpec(size).label;
}

std::optional<NewImageFormat> newImageFormatForExtension(std::string_view ext) {
    std::string lower(ext);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::size_t i = 0; i < formatExtensions.size(); ++i) {
        if (lower == formatExtensions[i]) {
            return static_cast<NewImageFormat>(i);
        }
    }
    return std::nullopt;
}

ConvertFormat toConvertFormat(NewImageFormat format) {
    return static_cast<ConvertFormat>(indexOf(format));
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
    switch (format) {
    case NewImageFormat::bin:
        return true;
    case NewImageFormat::hdi:
    case NewImageFormat::nhd:
        return !isFloppySize(size);
    default:
        return isFloppySize(size);
    }
}

std::vector<ConvertFormat> availableFormats(const std::optional<DiskGeometry>& geometry) {
    if (!geometry) {
        return allConvertFormats();
    }
    std::vector<ConvertFormat> formats;
    for (ConvertFormat format : allConvertFormats()) {
        if (isConversionOffered(*geometry, format)) {
            formats.push_back(format);
        }
    }
    return formats;
}

bool isConversionOffered(const DiskGeometry& geometry, ConvertFormat format) {
    switch (format) {
    case ConvertFormat::bin:
        return true;
    case ConvertFormat::hdi:
    case ConvertFormat::nhd:
        return !isFloppyGeometry(geometry);
    default:
        return isFloppyGeometry(geometry);
    }
}

std::string sizeNotOfferedText(NewImageFormat format, DiskSize size) {
    std::vector<std::string> labels;
    for (DiskSize offered : availableSizes(format)) {
        labels.push_back(rawValue(offered));
    }
    return rawValue(format) + "形式では" + rawValue(size) +
           "のイメージは作成できません（作成できるサイズ: " + joinLabels(labels) + "）";
}

std::string conversionNotOfferedText(const DiskGeometry& geometry, ConvertFormat format) {
    std::vector<std::string> names;
    for (ConvertFormat offered : availableFormats(geometry)) {
        names.push_back(rawValue(offered));
    }
    return "このディスクイメージは" + rawValue(format) +
           "形式に変換できません（変換できる形式: " + joinLabels(names) + "）";
}

namespace {

// Data clusters of a new volume; the FAT is left out of the sum, as FAT formatters do
// for this estimate, so the result decides the FAT width before the FAT is sized.
std::int64_t newVolumeClusters(const DiskSizeSpec& layout) {
    const std::int64_t bytesPerSector = layout.geometry.bytesPerSector;
    const std::int64_t rootDirSectors =
        (layout.rootEntries * 32 + bytesPerSector - 1) / bytesPerSector;
    return (layout.totalSectors - 1 - rootDirSectors) / layout.sectorsPerCluster;
}

} // namespace

FATType fileSystemOf(DiskSize size) {
    return newVolumeClusters(sizeSpec(size)) >= 4085 ? FATType::fat16 : FATType::fat12;
}

std::string formatLabel(ConvertFormat format) {
    return formatLabelForExtension(rawValue(format));
}

Bytes buildNewVolume(DiskSize size) {
    const DiskSizeSpec& layout = sizeSpec(size);
    const std::int64_t bytesPerSector = layout.geometry.bytesPerSector;
    const std::int64_t clusters = newVolumeClusters(layout);
    const bool isFAT16 = fileSystemOf(size) == FATType::fat16;
    const std::int64_t fatBytes = isFAT16 ? 2 * clusters + 4 : (3 * clusters + 7) / 2;
    const std::int64_t sectorsPerFAT = (fatBytes + bytesPerSector - 1) / bytesPerSector;

    Bytes volume(static_cast<std::size_t>(layout.totalSectors * bytesPerSector), 0);
    const std::uint8_t jump[] = {0xEB, 0x3C, 0x90};
    std::memcpy(volume.data(), jump, 3);
    std::memcpy(volume.data() + 3, "MSDOS5.0", 8);
    writeU16LE(volume, 11, static_cast<std::uint16_t>(bytesPerSector));
    volume[13] = static_cast<std::uint8_t>(layout.sectorsPerCluster);
    writeU16LE(volume, 14, 1);
    volume[16] = 2;
    writeU16LE(volume, 17, static_cast<std::uint16_t>(layout.rootEntries));
    writeU16LE(volume, 19, static_cast<std::uint16_t>(layout.totalSectors));
    volume[21] = layout.media;
    writeU16LE(volume, 22, static_cast<std::uint16_t>(sectorsPerFAT));
    writeU16LE(volume, 24, static_cast<std::uint16_t>(layout.geometry.sectorsPerTrack));
    writeU16LE(volume, 26, static_cast<std::uint16_t>(layout.geometry.heads));
    volume[510] = 0x55;
    volume[511] = 0xAA;
    for (std::int64_t copy = 0; copy < 2; ++copy) {
        const auto fat = volume.begin() + (1 + copy * sectorsPerFAT) * bytesPerSector;
        fat[0] = layout.media;
        fat[1] = 0xFF;
        fat[2] = 0xFF;
        if (isFAT16) {
            fat[3] = 0xFF;
        }
    }
    return volume;
}

Bytes createNewImage(const NewImageParameters& params) {
    if (!isSizeOffered(params.format, params.diskSize)) {
        throw DiskImageError::unsupportedFormat(sizeNotOfferedText(params.format, params.diskSize));
    }
    const DiskGeometry& geometry = sizeSpec(params.diskSize).geometry;
    Bytes volume = buildNewVolume(params.diskSize);
    switch (params.format) {
    case NewImageFormat::bin:
        return volume;
    case NewImageFormat::fdi:
    case NewImageFormat::hdi: {
        Bytes file = generateFDIHeader(geometry);
        file.insert(file.end(), volume.begin(), volume.end());
        return file;
    }
    case NewImageFormat::d88:
        return D88ImageFormat::buildD88Image(volume, geometry, D88WriteVariant::newImage);
    case NewImageFormat::nfd:
        return buildNFDNewImage(volume, geometry);
    case NewImageFormat::nhd:
        return buildNHDNewImage(volume, geometry);
    case NewImageFormat::dim:
        return buildDIMNewImage(volume, geometry);
    case NewImageFormat::dcp:
        return buildDCPNewImage(volume, geometry);
    }
    return volume;
}

Bytes convertImage(const DiskImage& image, ConvertFormat format) {
    const DiskGeometry& geometry = image.geometry;
    if (!isConversionOffered(geometry, format)) {
        throw DiskImageError::unsupportedFormat(conversionNotOfferedText(geometry, format));
    }
    const std::int64_t dataSize = static_cast<std::int64_t>(image.data.size());
    const std::int64_t start = std::clamp<std::int64_t>(image.dataOffset, 0, dataSize);
    const std::int64_t length =
        std::min(std::max<std::int64_t>(geometry.totalBytes(), 0), dataSize - start);
    const ByteView flat =
        ByteView(image.data)
            .subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    switch (format) {
    case ConvertFormat::bin:
        return Bytes(flat.begin(), flat.end());
    case ConvertFormat::d88:
        return D88ImageFormat::buildD88Image(flat, geometry, D88WriteVariant::conversion);
    case ConvertFormat::fdi:
        return buildFDIImage(flat, geometry);
    case ConvertFormat::hdi:
        return buildHDIImage(flat, geometry);
    case ConvertFormat::nfd:
        return buildNFDImage(flat, geometry);
    case ConvertFormat::nhd:
        return buildNHDImage(flat, geometry);
    case ConvertFormat::dim:
        return buildDIMNewImage(flat, geometry);
    case ConvertFormat::dcp:
        return buildDCPNewImage(flat, geometry);
    }
    return Bytes(flat.begin(), flat.end());
}

void writeImageFile(const std::filesystem::path& path, ByteView bytes) {
    writeFileAtomically(path, bytes, LockedTarget::refuse);
}

} // namespace tamberlane

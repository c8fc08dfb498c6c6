#include "engine/image/NewImage.h"
#include "engine/image/formats/FormatTable.h"

#include "engine/base/AtomicFile.h"

#include <algorithm>
#include <array>
#include <cctype>

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

std::string formatLabel(ConvertFormat format) {
    return formatLabelForExtension(rawValue(format));
}

void writeImageFile(const std::filesystem::path& path, ByteView bytes) {
    writeFileAtomically(path, bytes, LockedTarget::refuse);
}

} // namespace tamberlane

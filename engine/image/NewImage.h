#pragma once

#include "engine/base/AtomicFile.h"
#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/image/BIOSParameterBlock.h"
#include "engine/image/formats/FormatTable.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlane {

enum class DiskSize { kb640, mb1_2, mb1_44, mb10, mb20, mb40 };

struct NewImageParameters {
    NewImageFormat format = NewImageFormat::bin;
    DiskSize diskSize = DiskSize::kb640;
    // Not read by the builder: the FAT type follows from the size.
    FATType fileSystem = FATType::fat12;
};

// Everything a new volume takes from its size, and how the size is offered.
struct DiskSizeSpec {
    // The dialog label, e.g. "1.44MB (2HD-AT)".
    const char* label = "";
    DiskGeometry geometry;
    std::int64_t totalSectors = 0;
    std::int64_t rootEntries = 0;
    std::uint8_t media = 0;
    std::int64_t sectorsPerCluster = 0;
    std::uint8_t d88SizeCode = 0;
};

// The written containers in the order of the format table, which is the order they are
// offered in.
const std::vector<NewImageFormat>& allNewImageFormats();
const std::vector<DiskSize>& allDiskSizes();

// "BIN", "D88", ...
std::string rawValue(NewImageFormat format);
// The dialog label, e.g. "1.44MB (2HD-AT)".
std::string rawValue(DiskSize size);
// Lower-case file extension of the container ("bin", "d88", ...).
std::string fileExtension(NewImageFormat format);
// The container a file extension (case-insensitive, without the dot) names.
std::optional<NewImageFormat> newImageFormatForExtension(std::string_view ext);

const DiskSizeSpec& sizeSpec(DiskSize size);
// Bytes of the volume a new image of this size holds. The labels are the catalogue's names
// and promise more than the layout gives ("40MB (HD)" is a volume of 20.3 MB).
std::int64_t newVolumeBytes(DiskSize size);
// That capacity as pickers show it beside the label: whole KB below 2 MB, else MB with one
// decimal, both in units of 1024 ("1440 KB", "20.3 MB").
std::string capacityText(DiskSize size);
// "NFD (T98-Next Floppy)", ...: how the conversion dialog offers a container.
std::string targetLabel(ConvertFormat format);

std::vector<DiskSize> availableSizes(NewImageFormat format);
bool isSizeOffered(NewImageFormat format, DiskSize size);
// Conversion targets: all eight without an image, else by the image's geometry.
std::vector<ConvertFormat> availableFormats(const std::optional<DiskGeometry>& geometry);
bool isConversionOffered(const DiskGeometry& geometry, ConvertFormat format);

// Why a combination is refused, for the user.
std::string sizeNotOfferedText(NewImageFormat format, DiskSize size);
std::string conversionNotOfferedText(const DiskGeometry& geometry, ConvertFormat format);

// The container file for a flat volume, as a new image or as a conversion.
Bytes writeNewContainer(NewImageFormat format, ByteView volume, const DiskGeometry& geometry);
Bytes writeConvertedContainer(ConvertFormat format, ByteView volume, const DiskGeometry& geometry);
// What writeConvertedContainer puts before a volume of `volumeSize` bytes where the volume
// follows as it is; absent where the container rebuilds it (tracks of sector records).
std::optional<Bytes> convertedHeader(ConvertFormat format, std::int64_t volumeSize,
                                     const DiskGeometry& geometry);

// Writes a new or converted image. A file at `path` is refused with targetExists unless
// `existing` allows replacing it (the user was asked); one that another program holds
// locked, or that is the open image, is refused with lockConflict. Either stays untouched.
void writeImageFile(const std::filesystem::path& path, ByteView bytes,
                    ExistingTarget existing = ExistingTarget::keep);
// The refusal of an existing file writeImageFile starts with.
void refuseExistingTarget(const std::filesystem::path& path, ExistingTarget existing);

} // namespace tamberlane

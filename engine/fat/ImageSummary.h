#pragma once

#include "engine/base/DiskGeometry.h"
#include "engine/fat/DiskImage.h"
#include "engine/image/BIOSParameterBlock.h"
#include "engine/image/PartitionTable.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tamberlane {

// Every figure the information views (the command line's `info`, the information
// window) show of an open image, taken at one moment.
struct ImageSummary {
    std::string fileName;
    // The container as named by the file's extension: "D88", and "D88 (Neko Project 2)".
    std::string formatExtension;
    std::string formatLabel;
    FATType fileSystem = FATType::fat12;
    DiskGeometry geometry;
    BIOSParameterBlock bpb;
    std::int64_t bytesPerCluster = 0;
    VolumeCapacity capacity;
    // Where the volume starts in the image's data.
    std::int64_t dataOffset = 0;
    bool isWriteProtected = false;
    bool isReadOnly = false;
    // Sectors of the volume, from the 32-bit count where the 16-bit one is 0.
    std::int64_t volumeSectors = 0;
    // No boot parameters on the disk: they were taken from the FAT's media byte.
    bool parametersInferred = false;
    std::optional<PartitionInfo> partition;
    // Why changes are refused although the volume reads (overlapping areas, FAT copies that
    // differ, ...); absent when the volume may be changed.
    std::optional<std::string> changeRefusal;
    // Why the file refuses changes (another program holds it open for writing, ...).
    std::optional<std::string> fileRefusal;
    // Byte offset of a boot sector found by searching rather than where the container puts it.
    std::optional<std::int64_t> searchedBootOffset;
};

ImageSummary summarizeImage(const DiskImage& image);

// "FAT12" or "FAT16".
std::string fileSystemName(FATType type);

} // namespace tamberlane

#include "engine/image/BIOSParameterBlock.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/SectorSizes.h"
#include "engine/base/Translation.h"

#include <string>

namespace tamberlane {

namespace {

bool isValidClusterSize(std::uint32_t value) {
    return value != 0 && value <= 128 && (value & (value - 1)) == 0;
}

} // namespace

BIOSParameterBlock parseBPB(ByteView sector) {
    if (sector.size() < 24) {
        throw DiskImageError::headerParseFailure(
            translate("ブートセクタのサイズが不足しています（%1$sバイト、最低24バイト必要）",
                      {sector.size()}));
    }
    BIOSParameterBlock bpb;
    bpb.bytesPerSector = readU16LE(sector, 11);
    bpb.sectorsPerCluster = readU8(sector, 13);
    bpb.reservedSectors = readU16LE(sector, 14);
    bpb.numberOfFATs = readU8(sector, 16);
    bpb.rootEntryCount = readU16LE(sector, 17);
    bpb.totalSectors16 = readU16LE(sector, 19);
    bpb.mediaDescriptor = readU8(sector, 21);
    bpb.sectorsPerFAT = readU16LE(sector, 22);
    // The 32-bit count only counts where the 16-bit one is 0; a short boot sector (the
    // minimum read is 24 bytes) has none.
    if (bpb.totalSectors16 == 0 && sector.size() >= 36) {
        bpb.totalSectors32 = readU32LE(sector, 32);
    }
    validateBPB(bpb);
    return bpb;
}

void validateBPB(const BIOSParameterBlock& bpb) {
    if (!isValidSectorSize(bpb.bytesPerSector)) {
        throw DiskImageError::invalidBPB(
            translate("bytesPerSectorが不正です: %1$s（有効値: 128, 256, 512, 1024, 2048, 4096）",
                      {bpb.bytesPerSector}));
    }
    if (!isValidClusterSize(bpb.sectorsPerCluster)) {
        throw DiskImageError::invalidBPB(
            translate("sectorsPerClusterが不正です: %1$s（有効値: 1, 2, 4, 8, 16, 32, 64, 128）",
                      {bpb.sectorsPerCluster}));
    }
    if (bpb.numberOfFATs == 0) {
        throw DiskImageError::invalidBPB(translate("numberOfFATsが0です"));
    }
    if (bpb.volumeSectorCount() == 0) {
        throw DiskImageError::invalidBPB(translate("totalSectors16が0です"));
    }
    // Cluster numbers are 16-bit: a 32-bit count may describe more clusters than FAT16
    // can number (a FAT32 volume, or a hostile count).
    const std::int64_t clusters = calculateTotalClusters(bpb);
    if (bpb.totalSectors16 == 0 && clusters > maxFAT16Clusters) {
        throw DiskImageError::invalidBPB(translate(
            "クラスタ数が多すぎます: %1$s（FAT16の上限: %2$s）", {clusters, maxFAT16Clusters}));
    }
}

std::int64_t calculateTotalClusters(const BIOSParameterBlock& bpb) {
    if (bpb.bytesPerSector == 0 || bpb.sectorsPerCluster == 0) {
        return 0;
    }
    const std::int64_t rootDirSectors =
        (static_cast<std::int64_t>(bpb.rootEntryCount) * 32 + bpb.bytesPerSector - 1) /
        bpb.bytesPerSector;
    const std::int64_t dataSectors =
        bpb.volumeSectorCount() -
        (static_cast<std::int64_t>(bpb.numberOfFATs) * bpb.sectorsPerFAT + bpb.reservedSectors) -
        rootDirSectors;
    const std::int64_t clusters = dataSectors / bpb.sectorsPerCluster;
    return clusters < 0 ? 0 : clusters;
}

} // namespace tamberlane

#include "engine/fat/DiskImage.h"
#include "engine/base/DiskImageError.h"
#include "engine/image/formats/PlainImageFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace tamberlane {
namespace {

BIOSParameterBlock floppyBPB() {
    BIOSParameterBlock bpb;
    bpb.bytesPerSector = 512;
    bpb.sectorsPerCluster = 1;
    bpb.reservedSectors = 1;
    bpb.numberOfFATs = 2;
    bpb.rootEntryCount = 224;
    bpb.totalSectors16 = 2880;
    bpb.mediaDescriptor = 0xF0;
    bpb.sectorsPerFAT = 9;
    return bpb;
}

// Every byte holds its own position (mod 251), so a read shows where it came from.
Bytes positionalData(std::size_t size) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(i % 251);
    }
    return data;
}

Bytes expectedSlice(std::size_t from, std::size_t length) {
    Bytes out(length);
    for (std::size_t i = 0; i < length; ++i) {
        out[i] = static_cast<std::uint8_t>((from + i) % 251);
    }
    return out;
}

// One FAT copy, so that positional data (whose copies could never agree) may be written;
// by default as long as the floppy's two, so its clusters stay where they were.
BIOSParameterBlock writableBPB(std::uint16_t sectorsPerFAT = 18, std::uint16_t rootEntries = 224) {
    BIOSParameterBlock bpb = floppyBPB();
    bpb.numberOfFATs = 1;
    bpb.sectorsPerFAT = sectorsPerFAT;
    bpb.rootEntryCount = rootEntries;
    return bpb;
}

std::shared_ptr<DiskImage> makeImage(BIOSParameterBlock bpb, Bytes data,
                                     std::int64_t dataOffset = 0, bool readOnly = false,
                                     bool writeProtected = false) {
    const auto size = static_cast<std::int64_t>(data.size());
    return DiskImage::create(
        {.url = "/nowhere/disk.img",
         .format = std::make_shared<PlainImageFormat>(size),
         .geometry = DiskGeometry{2, 80, 18, 512},
         .bpb = bpb,
         .fatTable = FATTable(std::vector<std::uint16_t>(20, 0), FATType::fat12),
         .isWriteProtected = writeProtected,
         .isReadOnly = readOnly,
         .dataOffset = dataOffset},
        PagedBytes(data));
}

// The root area is rounded up to whole sectors, and the largest fields must not wrap
// in 16-bit arithmetic.
TEST(DiskImageLayoutTest, FirstDataSectorRoundsTheRootUpWithoutOverflow) {
    // bytes per sector, reserved, FATs, sectors per FAT, root entries, first data sector
    for (const auto& [bps, reserved, fats, perFAT, root, expected] :
         std::vector<std::tuple<int, int, int, int, int, std::int64_t>>{
             {512, 1, 2, 9, 17, 21},
             {128, 65535, 255, 65535, 65535, 65535 + 255LL * 65535 + 16384}}) {
        BIOSParameterBlock bpb = floppyBPB();
        bpb.bytesPerSector = static_cast<std::uint16_t>(bps);
        bpb.reservedSectors = static_cast<std::uint16_t>(reserved);
        bpb.numberOfFATs = static_cast<std::uint8_t>(fats);
        bpb.sectorsPerFAT = static_cast<std::uint16_t>(perFAT);
        bpb.rootEntryCount = static_cast<std::uint16_t>(root);
        EXPECT_EQ(makeImage(bpb, Bytes(1024))->addressing().firstDataSector(), expected) << bps;
    }
}

TEST(DiskImageReadTest, SectorsOutsideTheDataReadAsZerosWithoutOverflow) {
    const auto image = makeImage(floppyBPB(), positionalData(4096 + 100), 1024);
    EXPECT_EQ(image->readSector(5), expectedSlice(1024 + 5 * 512, 512));
    for (const std::int64_t lba : {std::int64_t{-3}, std::int64_t{6}, std::int64_t{1} << 40,
                                   INT64_MAX, INT64_MAX / 512, INT64_MIN, INT64_MIN / 512}) {
        SCOPED_TRACE(lba);
        EXPECT_EQ(image->readSector(lba), Bytes(512, 0)); // 6: present only in part
    }
    BIOSParameterBlock bpb = floppyBPB();
    bpb.sectorsPerCluster = 2;
    const auto cut = makeImage(bpb, positionalData(34 * 512 + 10));
    Bytes expected = expectedSlice(33 * 512, 512);
    expected.resize(1024, 0);
    EXPECT_EQ(cut->readCluster(2), expected);
    EXPECT_EQ(cut->readCluster(0xFFFF), Bytes(1024, 0));
    bpb.sectorsPerCluster = 0;
    EXPECT_TRUE(makeImage(bpb, positionalData(64 * 1024))->readCluster(2).empty());
}

// Catches the reserved entries 0 and 1 counted as data clusters, and bytes counted per
// sector instead of per cluster.
TEST(DiskImageCapacityTest, SpaceIsCountedInClustersOfTheFATPastTheReservedEntries) {
    std::vector<std::uint16_t> entries(1002, 0xFFF);
    entries[0] = 0xFF0;
    for (std::size_t i = 0; i < 400; ++i) {
        entries[2 + i * 2] = 0;
    }
    BIOSParameterBlock bpb = floppyBPB();
    bpb.sectorsPerCluster = 2;
    const auto image = DiskImage::create({.url = "/nowhere/disk.img",
                                          .format = std::make_shared<PlainImageFormat>(0),
                                          .geometry = DiskGeometry{2, 80, 18, 512},
                                          .bpb = bpb,
                                          .fatTable = FATTable(std::move(entries), FATType::fat12)},
                                         PagedBytes::zeros((33 + 1000 * 2) * 512));
    const VolumeCapacity capacity = image->capacity();
    EXPECT_EQ(capacity.usedBytes, 614400);
    EXPECT_EQ(capacity.freeBytes, 409600);
    EXPECT_EQ(capacity.totalBytes, 1024000);
    EXPECT_EQ(capacity.usedClusters, 600);
    EXPECT_EQ(capacity.freeClusters, 400);
    EXPECT_EQ(capacity.totalClusters, 1000);
}

TEST(DiskImageWriteTest, WritesLandInTheirSectorsAndShortInputIsZeroFilled) {
    BIOSParameterBlock bpb = writableBPB();
    bpb.sectorsPerCluster = 2;
    const auto image = makeImage(bpb, positionalData(64 * 1024), 512);
    image->writeSector(1, Bytes(100, 0xAB));
    Bytes expected(512, 0);
    std::fill_n(expected.begin(), 100, 0xAB);
    EXPECT_EQ(image->readSector(1), expected);
    EXPECT_EQ(image->readSector(2), expectedSlice(512 + 1024, 512));
    image->writeCluster(3, Bytes(1024, 0x5A));
    EXPECT_EQ(image->readSector(34), expectedSlice(512 + 34 * 512, 512));
    EXPECT_EQ(image->readSector(35), Bytes(512, 0x5A));
    EXPECT_EQ(image->readSector(36), Bytes(512, 0x5A));
    EXPECT_EQ(image->readSector(37), expectedSlice(512 + 37 * 512, 512));
}

TEST(DiskImageWriteTest, WritesOutsideTheDataAreSkippedAndNeverGrowTheBuffer) {
    const auto image = makeImage(writableBPB(1, 16), positionalData(512 * 4 + 7));
    const Bytes before = image->data().toBytes();
    for (const std::int64_t lba :
         {std::int64_t{-1}, std::int64_t{4}, std::int64_t{1} << 50, INT64_MAX, INT64_MIN}) {
        image->writeSector(lba, Bytes(512, 0xEE));
    }
    image->writeCluster(0xFFFF, Bytes(512, 0xEE));
    EXPECT_EQ(image->data().toBytes(), before);
}

TEST(DiskImageWriteTest, ReadOnlyOrWriteProtectedImageRefusesWrites) {
    for (const bool readOnly : {true, false}) {
        const auto image = makeImage(floppyBPB(), Bytes(8192, 0), 0, readOnly, !readOnly);
        try {
            image->writeSector(0, Bytes(512, 1));
            FAIL() << "write accepted";
        } catch (const DiskImageError& e) {
            EXPECT_EQ(e.kind(), DiskImageError::Kind::writeProtected);
        }
        EXPECT_EQ(image->data().toBytes(), Bytes(8192, 0));
    }
}

// Whoever builds an image, the refusal is worked out with it: an image built without
// it would let the first change write the first FAT copy over a differing second one,
// or write outside the partition it was opened in.
TEST(DiskImageCreateTest, ARefusalIsWorkedOutWhenTheImageIsMade) {
    const auto differing = makeImage(floppyBPB(), positionalData(64 * 1024));
    ASSERT_TRUE(differing->changeRefusal());
    EXPECT_EQ(differing->changeRefusal()->errorDescription(),
              DiskImageError::fatCopiesDiffer().errorDescription());
    EXPECT_THROW(differing->writeSector(40, Bytes(512, 1)), DiskImageError);

    PartitionInfo partition;
    partition.offset = 512;
    partition.size = 40 * 512;
    const auto confined =
        DiskImage::create({.format = std::make_shared<PlainImageFormat>(64 * 1024),
                           .bpb = writableBPB(1, 16),
                           .fatTable = FATTable(std::vector<std::uint16_t>(60, 0), FATType::fat12),
                           .dataOffset = 512,
                           .partition = partition},
                          PagedBytes::zeros(64 * 1024));
    ASSERT_FALSE(confined->changeRefusal());
    confined->writeSector(40, Bytes(512, 0xEE));
    EXPECT_EQ(confined->readSector(40), Bytes(512, 0)) << "written past the partition";
    EXPECT_EQ(confined->fatTable().allocationLimit(), 2 + 37) << "clusters past the partition";
}

} // namespace
} // namespace tamberlane

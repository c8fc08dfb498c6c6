// Every writable container in every size it offers: a new image must open again with
// the geometry and volume it was made with, keep what is written into it across a
// save, and carry its header bytes exactly as the container lays them out.

#include "ContainerTestSupport.h"

#include "engine/fat/DiskImageService.h"
#include "engine/fat/FATParser.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/FormatTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace tamberlane::test {
namespace {

struct ExpectedVolume {
    std::uint16_t sectorsPerFAT;
    FATType fatType;
    std::int64_t clusters;
};

const std::map<DiskSize, ExpectedVolume> expectedVolumes = {
    {DiskSize::kb640, {2, FATType::fat12, 634}},   {DiskSize::mb1_2, {2, FATType::fat12, 1221}},
    {DiskSize::mb1_44, {9, FATType::fat12, 2847}}, {DiskSize::mb10, {8, FATType::fat12, 2588}},
    {DiskSize::mb20, {21, FATType::fat16, 5183}},  {DiskSize::mb40, {21, FATType::fat16, 5192}}};

const std::map<NewImageFormat, std::size_t> headerSizes = {
    {NewImageFormat::bin, 0},    {NewImageFormat::d88, 0},       {NewImageFormat::fdi, 4096},
    {NewImageFormat::hdi, 4096}, {NewImageFormat::nfd, 0x10BA0}, {NewImageFormat::nhd, 296},
    {NewImageFormat::dim, 256},  {NewImageFormat::dcp, 163}};

bool allBytesAre(const Bytes& b, std::size_t from, std::size_t to, std::uint8_t value) {
    for (std::size_t i = from; i < to; ++i) {
        if (b[i] != value) {
            return false;
        }
    }
    return true;
}

// The 32-bit little-endian fields from `at` on.
void expectU32s(const Bytes& file, std::size_t at, std::initializer_list<std::int64_t> fields) {
    for (const std::int64_t field : fields) {
        EXPECT_EQ(readU32LE(file, at), field) << "offset " << at;
        at += 4;
    }
}

void expectD88Layout(const Bytes& file, DiskSize size) {
    const DiskGeometry g = sizeSpec(size).geometry;
    const std::int64_t record = 16 + g.bytesPerSector;
    EXPECT_TRUE(allBytesAre(file, 0, 0x1B, 0)) << "name, reserved and write protect are zero";
    EXPECT_EQ(file[0x1B], size == DiskSize::kb640 ? 0x10 : 0x20);
    EXPECT_EQ(readU32LE(file, 0x1C), file.size());
    const std::int64_t tracks = g.heads * g.cylinders;
    for (std::int64_t t = 0; t < 164; ++t) {
        const std::uint32_t expected =
            t < tracks ? static_cast<std::uint32_t>(688 + t * g.sectorsPerTrack * record) : 0;
        ASSERT_EQ(readU32LE(file, 0x20 + 4 * t), expected) << "track " << t;
    }
    // Every sector record: C, H, R, N, count, zero status bytes, data size.
    for (std::int64_t t = 0; t < tracks; ++t) {
        for (std::int64_t s = 0; s < g.sectorsPerTrack; ++s) {
            const auto at = static_cast<std::size_t>(688 + (t * g.sectorsPerTrack + s) * record);
            const auto h = D88ImageFormat::parseSectorHeader(ImageFileReader(file),
                                                             static_cast<std::int64_t>(at));
            ASSERT_EQ(h.cylinder, t / g.heads);
            ASSERT_EQ(h.head, t % g.heads);
            ASSERT_EQ(h.record, s + 1);
            ASSERT_EQ(h.sizeCode, sizeSpec(size).d88SizeCode);
            ASSERT_EQ(h.sectorCount, g.sectorsPerTrack);
            ASSERT_TRUE(allBytesAre(file, at + 6, at + 14, 0));
            ASSERT_EQ(h.dataSize, g.bytesPerSector);
        }
    }
}

void expectNFDLayout(const Bytes& file, const DiskGeometry& g, std::uint8_t sizeCode) {
    EXPECT_EQ(std::memcmp(file.data(), "T98FDDIMAGE.R0\0", 15), 0);
    EXPECT_TRUE(allBytesAre(file, 15, 0x110, 0));
    EXPECT_EQ(readU32LE(file, 0x110), 0x10BA0u);
    EXPECT_EQ(file[0x114], 0);
    EXPECT_EQ(file[0x115], g.heads);
    EXPECT_TRUE(allBytesAre(file, 0x116, 0x120, 0));
    const std::int64_t tracks = std::min<std::int64_t>(g.heads * g.cylinders, 164);
    for (std::int64_t t = 0; t < 164; ++t) {
        for (std::int64_t k = 0; k < 26; ++k) {
            const auto at = static_cast<std::size_t>(0x120 + t * 416 + k * 16);
            if (t >= tracks) {
                ASSERT_TRUE(allBytesAre(file, at, at + 16, 0)) << t << "/" << k;
            } else if (k >= g.sectorsPerTrack) {
                ASSERT_TRUE(allBytesAre(file, at, at + 16, 0xFF)) << t << "/" << k;
            } else {
                ASSERT_EQ(file[at], t / g.heads);
                ASSERT_EQ(file[at + 1], t % g.heads);
                ASSERT_EQ(file[at + 2], k + 1);
                ASSERT_EQ(file[at + 3], sizeCode);
                ASSERT_EQ(file[at + 4], 1);
                ASSERT_TRUE(allBytesAre(file, at + 5, at + 16, 0));
            }
        }
    }
}

void expectTrackMap(const Bytes& file, const DiskGeometry& g) {
    const auto tracks = static_cast<std::size_t>(g.heads * g.cylinders);
    EXPECT_TRUE(allBytesAre(file, 1, 1 + tracks, 0x01)) << "every track present";
    EXPECT_TRUE(allBytesAre(file, 1 + tracks, 161, 0x00)) << "no track beyond the disk";
}

void expectHeaderLayout(const OfferedCombination& c, const Bytes& file) {
    const DiskSizeSpec& layout = sizeSpec(c.size);
    const DiskGeometry& g = layout.geometry;
    const std::int64_t volumeBytes = g.totalBytes();
    if (c.format != NewImageFormat::d88) {
        ASSERT_EQ(static_cast<std::int64_t>(file.size()),
                  static_cast<std::int64_t>(headerSizes.at(c.format)) + volumeBytes);
    }
    switch (c.format) {
    case NewImageFormat::bin:
        break;
    case NewImageFormat::fdi:
    case NewImageFormat::hdi: {
        std::uint32_t type = 0x10;
        if (c.size == DiskSize::mb1_44) {
            type = 0x30;
        } else if (c.size == DiskSize::mb1_2) {
            type = 0x90;
        }
        expectU32s(file, 0,
                   {type, 0, 4096, g.totalBytes(), g.bytesPerSector, g.sectorsPerTrack, g.heads,
                    g.cylinders});
        EXPECT_TRUE(allBytesAre(file, 32, 4096, 0));
        break;
    }
    case NewImageFormat::d88:
        expectD88Layout(file, c.size);
        break;
    case NewImageFormat::nfd:
        expectNFDLayout(file, g, layout.d88SizeCode);
        break;
    case NewImageFormat::nhd:
        EXPECT_EQ(std::memcmp(file.data(), "T98HDDIMAGE.R0\0", 15), 0);
        EXPECT_TRUE(allBytesAre(file, 15, 0x110, 0));
        expectU32s(file, 0x110,
                   {296, 0, g.sectorsPerTrack, g.heads, g.cylinders, g.bytesPerSector});
        break;
    case NewImageFormat::dim:
        EXPECT_EQ(file[0], c.size == DiskSize::mb1_44 ? 0x03 : 0x00);
        expectTrackMap(file, g);
        EXPECT_TRUE(allBytesAre(file, 161, 0xAB, 0));
        EXPECT_EQ(std::memcmp(file.data() + 0xAB, "DIFC HEADER  ", 13), 0);
        EXPECT_TRUE(allBytesAre(file, 0xB8, 256, 0));
        break;
    case NewImageFormat::dcp: {
        const std::uint8_t media =
            c.size == DiskSize::kb640 ? 0x04 : (c.size == DiskSize::mb1_44 ? 0x03 : 0x01);
        EXPECT_EQ(file[0], media);
        expectTrackMap(file, g);
        EXPECT_EQ(file[0xA1], 0x01);
        EXPECT_EQ(file[0xA2], 0x00);
        break;
    }
    }
}

class ContainerConformance : public ::testing::TestWithParam<OfferedCombination> {
  protected:
    std::filesystem::path createImage() {
        const OfferedCombination c = GetParam();
        const Bytes bytes = DiskImageService::createNewImage({c.format, c.size, FATType::fat12});
        const auto path = dir / ("new." + fileExtension(c.format));
        writeImageFile(path, bytes);
        return path;
    }

    TempDir dir;
};

TEST_P(ContainerConformance, NewImageReopensWithItsGeometryBPBAndAnEmptyVolume) {
    const OfferedCombination c = GetParam();
    const DiskSizeSpec& layout = sizeSpec(c.size);
    const ExpectedVolume expected = expectedVolumes.at(c.size);
    DiskImageService service;
    const auto image = service.open(createImage());

    // A container that read another geometry back would grow or cut the volume on the
    // next conversion.
    EXPECT_EQ(image->layout().geometry, layout.geometry);
    EXPECT_FALSE(image->layout().isReadOnly);
    EXPECT_FALSE(image->layout().isWriteProtected);
    EXPECT_EQ(image->layout().format->family(), registrationOf(c.format).family);
    EXPECT_EQ(image->layout().bpb.bytesPerSector, layout.geometry.bytesPerSector);
    EXPECT_EQ(image->layout().bpb.sectorsPerCluster, layout.sectorsPerCluster);
    EXPECT_EQ(image->layout().bpb.reservedSectors, 1);
    EXPECT_EQ(image->layout().bpb.numberOfFATs, 2);
    EXPECT_EQ(image->layout().bpb.rootEntryCount, layout.rootEntries);
    EXPECT_EQ(image->layout().bpb.totalSectors16, layout.totalSectors);
    EXPECT_EQ(image->layout().bpb.mediaDescriptor, layout.media);
    EXPECT_EQ(image->layout().bpb.sectorsPerFAT, expected.sectorsPerFAT);
    EXPECT_EQ(image->layout().fatType, expected.fatType);
    EXPECT_EQ(calculateTotalClusters(image->layout().bpb), expected.clusters);
    // What the pickers show beside the size's name.
    EXPECT_EQ(image->layout().bpb.volumeBytes(), newVolumeBytes(c.size));

    EXPECT_TRUE(service.listDirectory(DiskPath::root()).empty());
    const auto& entries = image->fatTable().entries();
    ASSERT_EQ(static_cast<std::int64_t>(entries.size()), expected.clusters + 2);
    for (std::size_t i = 2; i < entries.size(); ++i) {
        ASSERT_EQ(entries[i], 0) << "cluster " << i << " is free";
    }
    // Every cluster of a new volume lies inside its container, the last included.
    EXPECT_TRUE(image->clusterIsStorable(static_cast<std::uint16_t>(expected.clusters + 1)));
}

TEST_P(ContainerConformance, HeaderBytesAreLaidOutExactly) {
    expectHeaderLayout(GetParam(), readFile(createImage()));
}

TEST_P(ContainerConformance, WrittenSectorsSurviveSaveAndReopenAndASecondSaveChangesNothing) {
    const auto path = createImage();
    const auto lastCluster =
        static_cast<std::uint16_t>(expectedVolumes.at(GetParam().size).clusters + 1);
    Bytes volumeAfterWrite;
    std::int64_t dataSector = 0;
    {
        DiskImageService service;
        const auto image = service.open(path);
        const std::size_t sector = image->layout().bpb.bytesPerSector;
        dataSector =
            image->addressing().firstDataSector() + 5 * image->layout().bpb.sectorsPerCluster;
        image->writeSector(dataSector,
                           patternBytes(10, 0x11)); // a short write is padded with zeros
        image->writeCluster(2, patternBytes(image->addressing().bytesPerCluster(), 0x22));
        image->writeCluster(lastCluster, patternBytes(sector, 0x33)); // only the first sector given
        image->saveToFile();
        volumeAfterWrite = image->data().toBytes();
        const Bytes first = readFile(path);
        image->saveToFile();
        EXPECT_EQ(readFile(path), first);
        // The header around the volume is written back exactly as it was.
        const Bytes created =
            DiskImageService::createNewImage({GetParam().format, GetParam().size});
        ASSERT_EQ(first.size(), created.size());
        EXPECT_TRUE(std::equal(created.begin(), created.begin() + headerSizes.at(GetParam().format),
                               first.begin()));
    }
    DiskImageService service;
    const auto image = service.open(path);
    EXPECT_EQ(image->data().toBytes(), volumeAfterWrite);
    Bytes sector0 = patternBytes(10, 0x11);
    sector0.resize(image->layout().bpb.bytesPerSector, 0);
    EXPECT_EQ(image->readSector(dataSector), sector0);
    EXPECT_EQ(image->readCluster(2), patternBytes(image->addressing().bytesPerCluster(), 0x22));
    Bytes last = patternBytes(image->layout().bpb.bytesPerSector, 0x33);
    last.resize(image->addressing().bytesPerCluster(), 0);
    EXPECT_EQ(image->readCluster(lastCluster), last);
}

// BIN of 10, 20 and 40 MB included: the headerless reader once knew only floppy sizes.
INSTANTIATE_TEST_SUITE_P(EveryOfferedContainerAndSize, ContainerConformance,
                         ::testing::ValuesIn(offeredCombinations()),
                         [](const auto& info) { return comboName(info.param); });

// Floppy containers are offered for floppy geometries only; 83 cylinders or 3 heads is
// a hard disk already, and a headerless image is offered for both.
TEST(NewImageOffers, ConversionTargetsFollowTheGeometry) {
    const DiskGeometry lastFloppy{2, 82, 8, 512};
    for (const DiskGeometry& hard : {DiskGeometry{2, 83, 8, 512}, DiskGeometry{3, 40, 8, 512}}) {
        EXPECT_FALSE(isConversionOffered(hard, ConvertFormat::d88));
        EXPECT_TRUE(isConversionOffered(hard, ConvertFormat::nhd));
        EXPECT_TRUE(isConversionOffered(hard, ConvertFormat::bin));
    }
    EXPECT_TRUE(isConversionOffered(lastFloppy, ConvertFormat::d88));
    EXPECT_FALSE(isConversionOffered(lastFloppy, ConvertFormat::nhd));
    EXPECT_TRUE(isConversionOffered(lastFloppy, ConvertFormat::bin));
    EXPECT_EQ(availableFormats(std::nullopt), allNewImageFormats());
}

// The names promise more than a hard disk's volume holds ("40MB (HD)" is 20.3 MB): the
// capacity shown beside each is the volume's, rounded, in units of 1024.
TEST(NewImageOffers, CapacityShownBesideEachSizeIsWhatItsVolumeHolds) {
    const std::vector<std::pair<DiskSize, std::string>> shown = {
        {DiskSize::kb640, "640 KB"}, {DiskSize::mb1_2, "1232 KB"}, {DiskSize::mb1_44, "1440 KB"},
        {DiskSize::mb10, "5.1 MB"},  {DiskSize::mb20, "10.2 MB"},  {DiskSize::mb40, "20.3 MB"}};
    ASSERT_EQ(shown.size(), allDiskSizes().size());
    for (const auto& [size, text] : shown) {
        EXPECT_EQ(capacityText(size), text) << rawValue(size);
        const Bytes bin = createNewImage({NewImageFormat::bin, size, FATType::fat12});
        EXPECT_EQ(static_cast<std::int64_t>(bin.size()), newVolumeBytes(size)) << rawValue(size);
    }
}

TEST(NewImageOffers, SizeNotOfferedIsRefusedWithItsReason) {
    try {
        createNewImage({NewImageFormat::d88, DiskSize::mb40, FATType::fat12});
        FAIL() << "a 40 MB D88 was built";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::unsupportedFormat);
        EXPECT_EQ(e.text(), "D88形式では40MB (HD)のイメージは作成できません（作成できるサイズ: "
                            "640KB (2DD), 1.2MB (2HD), 1.44MB (2HD-AT)）");
    }
    EXPECT_EQ(errorKind([] {
                  createNewImage({NewImageFormat::nhd, DiskSize::kb640});
              }),
              DiskImageError::Kind::unsupportedFormat);
}

} // namespace
} // namespace tamberlane::test

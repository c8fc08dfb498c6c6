// Partitioned hard disks converted between headerless and header containers: each result
// opens with the partitions of its source and the same files in each, or the conversion is
// refused and leaves no file. And the read-back check itself: a result that would open
// differently is named by the part that differs.

#include "engine/base/Translation.h"
#include "engine/fat/ConvertedImageCheck.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/NewImageFile.h"
#include "engine/image/formats/HDIFormat.h"
#include "engine/image/formats/NHDFormat.h"
#include "tests/support/PartitionedDisk.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

enum class Container { headerless, hdi, nhd };

std::int64_t headerBytes(Container container) {
    switch (container) {
    case Container::headerless:
        return 0;
    case Container::hdi:
        return 4096;
    case Container::nhd:
        return 296;
    }
    return 0;
}

std::string extensionOf(Container container) {
    switch (container) {
    case Container::headerless:
        return "img";
    case Container::hdi:
        return "hdi";
    case Container::nhd:
        return "nhd";
    }
    return "";
}

Container containerOf(ConvertFormat format) {
    return format == ConvertFormat::hdi   ? Container::hdi
           : format == ConvertFormat::nhd ? Container::nhd
                                          : Container::headerless;
}

Bytes inContainer(Container container, const Bytes& disk, const DiskGeometry& geometry) {
    switch (container) {
    case Container::headerless:
        return disk;
    case Container::hdi:
        return buildHDIImage(disk, geometry);
    case Container::nhd:
        return buildNHDImage(disk, geometry);
    }
    return disk;
}

// 8 x 17 is one of the layouts a headerless file is tried with; 6 x 19 is not.
const DiskGeometry pc98Common{8, 150, 17, 512};
const DiskGeometry pc98SmallSectors{8, 150, 17, 256};
const DiskGeometry pc98Uncommon{6, 150, 19, 512};

struct SourceDisk {
    std::string name;
    std::function<PartitionedDisk()> make;
    DiskGeometry geometry;
};

const SourceDisk pc98{"pc98", [] { return twoPartitionPC98DiskWith(pc98Common); }, pc98Common};
const SourceDisk pc98Sectors256{
    "pc98Sectors256", [] { return twoPartitionPC98DiskWith(pc98SmallSectors); }, pc98SmallSectors};
const SourceDisk pc98UncommonLayout{
    "pc98UncommonLayout", [] { return twoPartitionPC98DiskWith(pc98Uncommon); }, pc98Uncommon};
const SourceDisk pcAT{"pcAT", twoPartitionATDisk, {8, 0, 17, 512}};

struct ConversionCase {
    SourceDisk disk;
    Container source;
    ConvertFormat target;
    // Empty: the result opens with the source's partitions.
    std::string refusal;
};

std::string caseName(const ConversionCase& c) {
    return c.disk.name + "_" + extensionOf(c.source) + "_to_" + fileExtension(c.target);
}

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << caseName(c);
}

// Partitions as offsets from the disk's first sector, whatever header comes before it.
std::vector<PartitionInfo> partitionsOnDisk(const fs::path& path, Container container) {
    std::vector<PartitionInfo> partitions = DiskImageService::partitionsOf(path);
    for (PartitionInfo& partition : partitions) {
        partition.offset -= headerBytes(container);
    }
    return partitions;
}

std::map<std::string, Bytes> rootFiles(const fs::path& path, int partition) {
    DiskImageService service;
    service.open(path, std::nullopt, {.partition = partition}, true);
    std::map<std::string, Bytes> files;
    for (const FileEntry& entry : service.listDirectory(DiskPath::root())) {
        files[entry.directoryEntry.displayName()] = service.readFile(entry);
    }
    return files;
}

class PartitionedConversion : public ::testing::TestWithParam<ConversionCase> {
  protected:
    TempDir dir;
};

TEST_P(PartitionedConversion, ResultOpensWithTheSamePartitionsOrIsRefusedLeavingNoFile) {
    const ConversionCase& c = GetParam();
    DiskGeometry geometry = c.disk.geometry;
    PartitionedDisk disk = c.disk.make();
    const std::int64_t cylinder =
        geometry.heads * geometry.sectorsPerTrack * geometry.bytesPerSector;
    geometry.cylinders = (static_cast<std::int64_t>(disk.bytes.size()) + cylinder - 1) / cylinder;
    disk.bytes.resize(static_cast<std::size_t>(geometry.cylinders * cylinder), 0);
    const fs::path source = dir / ("source." + extensionOf(c.source));
    writeFile(source, inContainer(c.source, disk.bytes, geometry));
    const fs::path output = dir / ("output." + fileExtension(c.target));

    std::string refusal;
    try {
        DiskImageService service;
        const auto image = service.open(source);
        convertImage(*image, c.target, output);
    } catch (const DiskImageError& e) {
        refusal = e.errorDescription();
    }
    EXPECT_EQ(refusal, c.refusal);
    if (!c.refusal.empty()) {
        EXPECT_FALSE(fs::exists(output));
        return;
    }
    const auto partitions = partitionsOnDisk(source, c.source);
    ASSERT_EQ(partitions.size(), 2u);
    EXPECT_EQ(partitionsOnDisk(output, containerOf(c.target)), partitions);
    for (int i = 0; i < 2; ++i) {
        const auto files = rootFiles(source, i);
        EXPECT_EQ(files.size(), 1u);
        EXPECT_EQ(rootFiles(output, i), files) << "partition " << i + 1;
    }
}

const std::string countDiffers = "変換したイメージを読み直すと元のディスクと一致しません: "
                                 "パーティションの数（元: 2、変換後: 0）";
const std::string sectorSizeNotRecorded =
    "サポートされていないディスクイメージ形式です: このディスクイメージはBIN形式に変換できません"
    "（ヘッダのない形式はセクタ長を記録できないため、256 "
    "バイトのセクタで置かれたパーティションが見つからなくなります）";

INSTANTIATE_TEST_SUITE_P(
    Disks, PartitionedConversion,
    ::testing::Values(
        // A headerless disk's layout, found by trying, must reach the header.
        ConversionCase{pc98, Container::headerless, ConvertFormat::hdi, ""},
        ConversionCase{pc98, Container::headerless, ConvertFormat::nhd, ""},
        ConversionCase{pc98, Container::hdi, ConvertFormat::bin, ""},
        ConversionCase{pc98, Container::nhd, ConvertFormat::hdi, ""},
        ConversionCase{pc98Sectors256, Container::hdi, ConvertFormat::nhd, ""},
        ConversionCase{pc98Sectors256, Container::nhd, ConvertFormat::bin, sectorSizeNotRecorded},
        ConversionCase{pc98UncommonLayout, Container::nhd, ConvertFormat::hdi, ""},
        ConversionCase{pc98UncommonLayout, Container::hdi, ConvertFormat::bin, countDiffers},
        ConversionCase{pcAT, Container::headerless, ConvertFormat::hdi, ""},
        ConversionCase{pcAT, Container::headerless, ConvertFormat::nhd, ""},
        ConversionCase{pcAT, Container::hdi, ConvertFormat::bin, ""}),
    [](const auto& info) { return caseName(info.param); });

// The check on its own: a result changed after it was written is caught by the first part
// of it that reads back differently.
struct Tampering {
    std::string name;
    bool partitioned;
    std::function<void(Bytes& converted, const PartitionedDisk& disk)> change;
    std::string differs;
};

void PrintTo(const Tampering& t, std::ostream* os) {
    *os << t.name;
}

// Byte `offset` of FAT copy `copy` of the volume at `volume` in an HDI file.
std::size_t fatByte(const PartitionedDisk& disk, std::size_t volume, int copy,
                    std::int64_t offset) {
    const std::int64_t start = disk.volumes[volume].offset;
    const std::int64_t fatSectors = readU16LE(disk.bytes, static_cast<std::size_t>(start + 22));
    return static_cast<std::size_t>(4096 + start + 512 * (1 + copy * fatSectors) + offset);
}

class ConvertedImageCheckTest : public ::testing::TestWithParam<Tampering> {};

TEST_P(ConvertedImageCheckTest, NamesThePartThatReadsBackDifferently) {
    const Tampering& t = GetParam();
    TempDir dir;
    const PartitionedDisk disk = t.partitioned ? twoPartitionPC98Disk() : PartitionedDisk{};
    const fs::path source = dir / "source.img";
    writeFile(source,
              t.partitioned ? disk.bytes : createNewImage({NewImageFormat::bin, DiskSize::mb10}));
    DiskImageService service;
    const auto image = service.open(source);
    const ConvertFormat target = ConvertFormat::hdi;
    convertImage(*image, target, dir / "converted.hdi");
    Bytes converted = readFile(dir / "converted.hdi");
    t.change(converted, disk);
    try {
        checkConvertedImage(*image, target, converted);
        FAIL() << "the changed result passed";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::conversionMismatch);
        const std::string prefix = "変換したイメージを読み直すと元のディスクと一致しません: ";
        EXPECT_EQ(e.errorDescription().substr(0, prefix.size() + t.differs.size()),
                  prefix + t.differs);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ConvertedImageCheckTest,
    ::testing::Values(
        // The repro: a header stating 2 heads places cylinder 1 elsewhere.
        Tampering{"headerStatesOtherHeads", true,
                  [](Bytes& converted, const PartitionedDisk&) { writeU32LE(converted, 24, 2); },
                  "パーティション 1 の開始位置（元: 69632 バイト、変換後: 17408 バイト）"},
        Tampering{
            "systemByteChanged", true,
            [](Bytes& converted, const PartitionedDisk&) { converted[4096 + 512 + 1] = 0x91; },
            "パーティション 1 の種類（元: 0x81、変換後: 0x91）"},
        Tampering{
            "endCylinderChanged", true,
            [](Bytes& converted, const PartitionedDisk&) { converted[4096 + 512 + 32 + 14] = 139; },
            "パーティション 2 の大きさ（元: 6963200 バイト、変換後: 6893568 バイト）"},
        Tampering{"oemNameChanged", true,
                  [](Bytes& converted, const PartitionedDisk& disk) {
                      converted[static_cast<std::size_t>(4096 + disk.volumes[1].offset + 3)] ^= 1;
                  },
                  "パーティション 2 のブートセクタ"},
        Tampering{"secondFATCopyChanged", true,
                  [](Bytes& converted, const PartitionedDisk& disk) {
                      converted[fatByte(disk, 1, 1, 7)] ^= 0xFF;
                  },
                  "パーティション 2 のFAT 2"},
        Tampering{"bootSectorWiped", true,
                  [](Bytes& converted, const PartitionedDisk& disk) {
                      const auto at = static_cast<std::size_t>(4096 + disk.volumes[0].offset);
                      std::fill_n(converted.begin() + static_cast<std::ptrdiff_t>(at), 512, 0);
                  },
                  "パーティション 1 を開けません（"},
        Tampering{"unpartitionedFirstFATChanged", false,
                  [](Bytes& converted, const PartitionedDisk&) { converted[4096 + 512 + 5] ^= 1; },
                  "FAT 1"},
        Tampering{
            "unpartitionedVolumeStartMoved", false,
            [](Bytes& converted, const PartitionedDisk&) { writeU32LE(converted, 8, 4096 + 512); },
            "ボリュームを開けません（"}),
    [](const auto& info) { return info.param.name; });

// Catches an English mismatch that keeps a Japanese fragment or names the copy and the
// partition the wrong way round (English puts them in the other order).
TEST(EnglishConvertedImageCheck, NamesThePartInEnglishWordOrder) {
    TempDir dir;
    const PartitionedDisk disk = twoPartitionPC98Disk();
    writeFile(dir / "source.img", disk.bytes);
    DiskImageService service;
    const auto image = service.open(dir / "source.img");
    convertImage(*image, ConvertFormat::hdi, dir / "converted.hdi");
    Bytes converted = readFile(dir / "converted.hdi");
    converted[fatByte(disk, 1, 1, 7)] ^= 0xFF;
    useLanguage(Language::english);
    try {
        checkConvertedImage(*image, ConvertFormat::hdi, converted);
        ADD_FAILURE() << "the changed result passed";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.errorDescription(), "The converted image, read back, does not match the "
                                        "original disk: FAT copy 2 of partition 2");
    }
    useLanguage(Language::japanese);
}

} // namespace
} // namespace tamberlane::test

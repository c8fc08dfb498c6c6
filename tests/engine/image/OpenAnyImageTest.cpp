// Images as people collect them: D88 files under other machines' extensions, raw dumps of
// any size, floppies without a boot sector, unknown extensions, partitioned hard disks
// and volumes past 32 MB. Each opens, takes a change, saves and reopens, and a save
// never touches a byte outside the volume.

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DiskImageService.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/FDIFormat.h"
#include "engine/image/formats/FormatTable.h"
#include "engine/image/formats/HDIFormat.h"
#include "engine/image/formats/NHDFormat.h"
#include "engine/operations/FileImport.h"
#include "tests/support/FatTools.h"
#include "tests/support/PartitionedDisk.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

const fs::path sourceRoot =
    fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path();

std::string textOf(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Opens `path`, saves it unchanged (the file must stay byte for byte), imports a file,
// saves, and reopens to find it. Returns the file as saved after the change.
Bytes roundTrip(const fs::path& path, const TempDir& dir,
                std::optional<int> partition = std::nullopt) {
    const Bytes before = readFile(path);
    {
        DiskImageService service;
        auto image = service.open(path, std::nullopt, {.partition = partition});
        image->saveToFile();
        EXPECT_EQ(readFile(path), before) << "an unchanged save rewrote bytes";
        writeFile(dir / "ADDED.TXT", bytesOf("added by the round trip"));
        FileImport(image).importFile(dir / "ADDED.TXT", DiskPath::root(), false);
    }
    DiskImageService service;
    auto image = service.open(path, std::nullopt, {.partition = partition});
    const FileEntry added = listedEntry(*image, DiskPath::root(), "ADDED.TXT");
    EXPECT_EQ(DirectoryReader::readFile(*image, added.directoryEntry),
              bytesOf("added by the round trip"));
    const Bytes after = readFile(path);
    EXPECT_EQ(after.size(), before.size());
    return after;
}

// The bytes of `file` outside [start, start + length) are those of `original`.
::testing::AssertionResult onlyVolumeChanged(const Bytes& original, const Bytes& file,
                                             std::int64_t start, std::int64_t length) {
    if (original.size() != file.size()) {
        return ::testing::AssertionFailure() << "size changed";
    }
    for (std::size_t i = 0; i < file.size(); ++i) {
        const auto at = static_cast<std::int64_t>(i);
        if ((at < start || at >= start + length) && original[i] != file[i]) {
            return ::testing::AssertionFailure() << "byte " << i << " outside the volume changed";
        }
    }
    return ::testing::AssertionSuccess();
}

Bytes d88Of(const VolumeBuilder& volume) {
    return D88ImageFormat::buildD88Image(volume.build(), DiskGeometry{2, 77, 8, 1024},
                                         D88WriteVariant::newImage);
}

class D88FamilyTest : public ::testing::TestWithParam<std::string> {};

TEST_P(D88FamilyTest, OpensChangesAndSavesInPlaceOfTheRecords) {
    TempDir dir;
    VolumeBuilder volume(VolumeParameters::floppy2HD());
    volume.addFile(volume.root(), name83("OLD.TXT"), bytesOf("from the machine"));
    const fs::path path = dir / ("disk." + GetParam());
    writeFile(path, d88Of(volume));
    const Bytes saved = roundTrip(path, dir);
    DiskImageService service;
    const auto image = service.open(path);
    EXPECT_EQ(image->layout().format->family(), ContainerFamily::d88);
    EXPECT_EQ(DirectoryReader::readFile(
                  *image, listedEntry(*image, DiskPath::root(), "OLD.TXT").directoryEntry),
              bytesOf("from the machine"));
    // The header and every record header are kept: only sector data moved.
    EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + 688 + 16, readFile(path).begin()));
}

INSTANTIATE_TEST_SUITE_P(Extensions, D88FamilyTest,
                         ::testing::Values("d77", "D68", "88d", "98d", "d98"));

// Whatever reads the list (the open panel, the CLI help) reads the table; the MIME
// types and the README are text, so they are held to it here.
TEST(ExtensionTable, MimeTypesAndReadmeNameEveryExtensionTheEngineReads) {
    const std::string mime = textOf(sourceRoot / "desktop" / "tamberlane-mime.xml");
    const std::string readme = textOf(sourceRoot / "README.md");
    ASSERT_FALSE(mime.empty());
    ASSERT_FALSE(readme.empty());
    for (const std::string& ext : allImageExtensions()) {
        std::string upper = ext;
        for (char& c : upper) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        EXPECT_NE(mime.find("\"*." + ext + "\""), std::string::npos) << ext;
        EXPECT_NE(mime.find("\"*." + upper + "\""), std::string::npos) << upper;
        EXPECT_NE(readme.find(" ." + ext), std::string::npos) << ext;
    }
}

// Volumes mkfs.fat makes at sizes no list names, checked against mtools before and
// fsck.fat after a change; bytes past the volume (an odd dump's tail) stay as they were.
struct RawDump {
    std::string name;
    int fatBits;
    int sizeKiB;
    std::int64_t tail;
    std::string extension;
    std::optional<DiskGeometry> geometry;
};

void PrintTo(const RawDump& dump, std::ostream* os) {
    *os << dump.name;
}

class HeaderlessDumpTest : public ::testing::TestWithParam<RawDump> {};

TEST_P(HeaderlessDumpTest, OpensByItsBootSectorAndKeepsWhatLiesPastTheVolume) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mkfs.fat/mtools missing";
    }
    const RawDump& dump = GetParam();
    TempDir dir;
    const fs::path path = dir / ("dump." + dump.extension);
    ASSERT_EQ(runCommand("mkfs.fat -C -F " + std::to_string(dump.fatBits) + " " +
                         shellQuote(path.string()) + " " + std::to_string(dump.sizeKiB))
                  .exitStatus,
              0);
    writeFile(dir / "host.txt", patternBytes(5000, 7));
    mtoolsPut(path, dir / "host.txt", "::/HOST.TXT");
    Bytes original = readFile(path);
    const std::int64_t volumeBytes = static_cast<std::int64_t>(original.size());
    const Bytes tail = patternBytes(static_cast<std::size_t>(dump.tail), 9);
    original.insert(original.end(), tail.begin(), tail.end());
    writeFile(path, original);
    {
        DiskImageService service;
        const auto image = service.open(path);
        if (dump.geometry) {
            EXPECT_EQ(image->layout().geometry, *dump.geometry);
        }
        EXPECT_EQ(image->layout().bpb.volumeBytes(), volumeBytes);
        EXPECT_EQ(engineTree(*image), mtoolsTree(path));
    }
    const Bytes saved = roundTrip(path, dir);
    EXPECT_TRUE(onlyVolumeChanged(original, saved, 0, volumeBytes));
    EXPECT_TRUE(mtoolsTree(path).contains("ADDED.TXT"));
    EXPECT_TRUE(fsckAccepts(path));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, HeaderlessDumpTest,
    ::testing::Values(RawDump{"msx720", 12, 720, 0, "dsk", DiskGeometry{2, 80, 9, 512}},
                      RawDump{"at1200_2hc", 12, 1200, 0, "ima", DiskGeometry{2, 80, 15, 512}},
                      RawDump{"ed2880", 12, 2880, 0, "flp", DiskGeometry{2, 80, 36, 512}},
                      RawDump{"oddDump", 12, 1440, 1234, "img", DiskGeometry{2, 80, 18, 512}},
                      RawDump{"fat16Past32MB", 16, 40960, 0, "vfd", std::nullopt}),
    [](const auto& info) { return info.param.name; });

// A FAT16 volume past 32 MB (16-bit count 0, 32-bit count at offset 32) in the hard-disk
// containers: its whole size counts, and a save keeps the header.
class LargeVolumeTest : public ::testing::TestWithParam<std::string> {};

TEST_P(LargeVolumeTest, OpensWithItsThirtyTwoBitSizeAndSavesInsideTheContainer) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mkfs.fat/mtools missing";
    }
    TempDir dir;
    ASSERT_EQ(
        runCommand("mkfs.fat -C -F 16 " + shellQuote((dir / "vol").string()) + " 40960").exitStatus,
        0);
    const Bytes volume = readFile(dir / "vol");
    const DiskGeometry geometry{16, 80, 64, 512};
    const Bytes original = GetParam() == "hdi"   ? buildHDIImage(volume, geometry)
                           : GetParam() == "nhd" ? buildNHDImage(volume, geometry)
                                                 : volume;
    const std::int64_t header = static_cast<std::int64_t>(original.size() - volume.size());
    const fs::path path = dir / ("big." + GetParam());
    writeFile(path, original);
    {
        DiskImageService service;
        const auto image = service.open(path);
        EXPECT_EQ(image->layout().bpb.totalSectors16, 0);
        EXPECT_GT(image->capacity().totalBytes, std::int64_t{39} << 20);
    }
    const Bytes saved = roundTrip(path, dir);
    EXPECT_TRUE(
        onlyVolumeChanged(original, saved, header, static_cast<std::int64_t>(volume.size())));
    writeFile(dir / "saved.vol", Bytes(saved.begin() + header, saved.end()));
    EXPECT_TRUE(fsckAccepts(dir / "saved.vol"));
    EXPECT_TRUE(mtoolsTree(dir / "saved.vol").contains("ADDED.TXT"));
}

INSTANTIATE_TEST_SUITE_P(Containers, LargeVolumeTest, ::testing::Values("hdi", "nhd", "bin"));

TEST(HeaderlessDump, AVolumeLargerThanItsFileKeepsTheSizeMessage) {
    TempDir dir;
    VolumeBuilder volume;
    const fs::path path = dir / "cut.img";
    writeFile(path, volume.build({.fileSize = 1474560 - 512}));
    EXPECT_EQ(errorKind([&] { DiskImageService().open(path); }),
              DiskImageError::Kind::invalidFileSize);
}

// A 720 KB MSX-DOS disk whose boot sector holds code but no BPB; its FAT starts F9 FF FF.
VolumeParameters msx720() {
    VolumeParameters p;
    p.sectorsPerCluster = 2;
    p.rootEntryCount = 112;
    p.totalSectors16 = 1440;
    p.mediaDescriptor = 0xF9;
    p.sectorsPerFAT = 3;
    return p;
}

Bytes withoutBPB(Bytes volume) {
    std::fill_n(volume.begin(), 512, 0xC9);
    return volume;
}

TEST(FloppyWithoutBPB, OpensByTheMediaByteAndWritesAVolumeMtoolsAndFsckAccept) {
    TempDir dir;
    VolumeBuilder volume(msx720());
    volume.addFile(volume.root(), name83("MSXDOS.SYS"), patternBytes(2500, 3));
    const Bytes withBPB = volume.build();
    const fs::path path = dir / "msx.dsk";
    writeFile(path, withoutBPB(withBPB));
    {
        DiskImageService service;
        const auto image = service.open(path);
        EXPECT_TRUE(image->layout().parametersInferred);
        EXPECT_EQ(image->layout().geometry, (DiskGeometry{2, 80, 9, 512}));
    }
    const Bytes saved = roundTrip(path, dir);
    EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + 512, withoutBPB(withBPB).begin()))
        << "the boot code was overwritten";
    // The same volume with its BPB back is what the FAT tools can read.
    Bytes repaired = saved;
    std::copy_n(withBPB.begin(), 512, repaired.begin());
    writeFile(dir / "repaired.img", repaired);
    EXPECT_TRUE(fsckAccepts(dir / "repaired.img"));
    if (fatToolsAvailable()) {
        const Tree tree = mtoolsTree(dir / "repaired.img");
        EXPECT_EQ(tree.at("MSXDOS.SYS"), patternBytes(2500, 3));
        EXPECT_EQ(tree.at("ADDED.TXT"), bytesOf("added by the round trip"));
    }
}

TEST(FloppyWithoutBPB, ABootSectorOfItsOwnWinsAndAWrongSizeIsNotGuessed) {
    TempDir dir;
    VolumeBuilder volume(msx720());
    writeFile(dir / "bpb.dsk", volume.build());
    EXPECT_FALSE(DiskImageService().open(dir / "bpb.dsk")->layout().parametersInferred);
    Bytes longer = withoutBPB(volume.build());
    longer.resize(longer.size() + 512, 0);
    writeFile(dir / "longer.dsk", longer);
    EXPECT_EQ(errorKind([&] { DiskImageService().open(dir / "longer.dsk"); }),
              DiskImageError::Kind::invalidFileSize);
    Bytes media = withoutBPB(volume.build());
    media[512] = 0xF0; // not a media byte of a 720 KB format
    writeFile(dir / "media.dsk", media);
    EXPECT_EQ(errorKind([&] { DiskImageService().open(dir / "media.dsk"); }),
              DiskImageError::Kind::invalidFileSize);
}

// A file whose extension names no container, opened by what it holds.
struct ContentCase {
    std::string name;
    std::function<Bytes(const Bytes& volume)> make;
    std::string formatName;
};

void PrintTo(const ContentCase& c, std::ostream* os) {
    *os << c.name;
}

class UnknownExtensionTest : public ::testing::TestWithParam<ContentCase> {};

TEST_P(UnknownExtensionTest, OpensByContentAndSavesInTheSameContainer) {
    TempDir dir;
    VolumeBuilder volume(VolumeParameters::floppy2HD());
    volume.addFile(volume.root(), name83("OLD.TXT"), bytesOf("kept"));
    const Bytes original = GetParam().make(volume.build());
    const fs::path path = dir / "download.dat";
    writeFile(path, original);
    EXPECT_EQ(DiskImageService().open(path)->layout().format->name(), GetParam().formatName);
    const Bytes saved = roundTrip(path, dir);
    const std::int64_t header = static_cast<std::int64_t>(original.size()) - 1261568;
    if (GetParam().formatName != "D88") {
        EXPECT_TRUE(onlyVolumeChanged(original, saved, header, 1261568));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Contents, UnknownExtensionTest,
    ::testing::Values(ContentCase{"d88",
                                  [](const Bytes& v) {
                                      return D88ImageFormat::buildD88Image(
                                          v, DiskGeometry{2, 77, 8, 1024},
                                          D88WriteVariant::newImage);
                                  },
                                  "D88"},
                      ContentCase{"fdi",
                                  [](const Bytes& v) {
                                      return buildFDIImage(v, DiskGeometry{2, 77, 8, 1024});
                                  },
                                  "FDI"},
                      ContentCase{"bootSector", [](const Bytes& v) { return v; }, "DAT"}),
    [](const auto& info) { return info.param.name; });

TEST(UnknownExtension, AD88HeaderWhoseSizeIsNotTheFilesIsNotTrusted) {
    TempDir dir;
    Bytes file =
        D88ImageFormat::buildD88Image(VolumeBuilder(VolumeParameters::floppy2HD()).build(),
                                      DiskGeometry{2, 77, 8, 1024}, D88WriteVariant::newImage);
    file.push_back(0);
    std::fill_n(file.begin() + 688 + 16, 1024, 0); // nor is there a boot sector to fall back on
    writeFile(dir / "x.dat", file);
    EXPECT_EQ(errorText([&] { DiskImageService().open(dir / "x.dat"); }),
              "サポートされていないディスクイメージ形式です: dat");
}

// Partitioned hard disks, PC/AT and PC-98, headerless and in an HDI: every FAT partition
// is listed, opens, takes a change that mtools and fsck.fat accept, and a save changes
// nothing outside that partition.
struct PartitionedCase {
    std::string name;
    std::function<PartitionedDisk()> make;
    std::string extension;
};

void PrintTo(const PartitionedCase& c, std::ostream* os) {
    *os << c.name;
}

class PartitionedDiskTest : public ::testing::TestWithParam<PartitionedCase> {
  protected:
    void SetUp() override {
        disk = GetParam().make();
        // Whole cylinders, so that the geometry holds every partition.
        const std::int64_t cylinderBytes = 8 * 17 * 512;
        const std::int64_t cylinders =
            (static_cast<std::int64_t>(disk.bytes.size()) + cylinderBytes - 1) / cylinderBytes;
        disk.bytes.resize(static_cast<std::size_t>(cylinders * cylinderBytes), 0);
        const DiskGeometry geometry{8, cylinders, 17, 512};
        original = GetParam().extension == "hdi" ? buildHDIImage(disk.bytes, geometry) : disk.bytes;
        header = static_cast<std::int64_t>(original.size() - disk.bytes.size());
        path = dir / ("hard." + GetParam().extension);
        writeFile(path, original);
    }
    TempDir dir;
    PartitionedDisk disk;
    Bytes original;
    std::int64_t header = 0;
    fs::path path;
};

TEST_P(PartitionedDiskTest, EveryFATPartitionOpensAndASaveStaysInsideIt) {
    const auto partitions = DiskImageService::partitionsOf(path);
    ASSERT_EQ(partitions.size(), 2u);
    const char* const files[] = {"TWELVE.TXT", "SIXTEEN.TXT"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(files[i]);
        writeFile(path, original);
        const auto& volume = disk.volumes[static_cast<std::size_t>(i)];
        EXPECT_EQ(partitions[static_cast<std::size_t>(i)].offset, header + volume.offset);
        {
            DiskImageService service;
            const auto image = service.open(path, std::nullopt, VolumeChoice::ofPartition(i));
            EXPECT_EQ(image->layout().fatType, i == 0 ? FATType::fat12 : FATType::fat16);
            EXPECT_NO_THROW(listedEntry(*image, DiskPath::root(), files[i]));
            // A conversion copies the whole disk, whichever partition is open.
            const auto output = dir / "converted.bin";
            convertImage(*image, ConvertFormat::bin, output, ExistingTarget::replace);
            const Bytes converted = readFile(output);
            EXPECT_GE(converted.size(), static_cast<std::size_t>(volume.offset + volume.size));
            EXPECT_TRUE(std::equal(converted.begin(), converted.end(), disk.bytes.begin()));
        }
        const Bytes saved = roundTrip(path, dir, i);
        EXPECT_TRUE(onlyVolumeChanged(original, saved, header + volume.offset, volume.size));
        const auto start = saved.begin() + header + volume.offset;
        writeFile(dir / "volume.img", Bytes(start, start + volume.size));
        EXPECT_TRUE(fsckAccepts(dir / "volume.img"));
        if (fatToolsAvailable()) {
            const Tree tree = mtoolsTree(dir / "volume.img");
            EXPECT_TRUE(tree.contains(files[i]));
            EXPECT_EQ(tree.at("ADDED.TXT"), bytesOf("added by the round trip"));
        }
    }
    // Without a choice the first partition opens, as the first disk of a D88 file does.
    EXPECT_EQ(DiskImageService().open(path)->layout().partition, partitions.front());
    EXPECT_EQ(errorText([&] {
                  DiskImageService().open(path, std::nullopt, VolumeChoice::ofPartition(2));
              }),
              "ヘッダの解析に失敗しました: 指定されたパーティション番号が範囲外です: "
              "3（パーティション数: 2）");
}

INSTANTIATE_TEST_SUITE_P(
    Disks, PartitionedDiskTest,
    ::testing::Values(PartitionedCase{"atHeaderless", twoPartitionATDisk, "img"},
                      PartitionedCase{"atHDI", twoPartitionATDisk, "hdi"},
                      PartitionedCase{"pc98HDI", twoPartitionPC98Disk, "hdi"},
                      PartitionedCase{"pc98Headerless", twoPartitionPC98Disk, "img"}),
    [](const auto& info) { return info.param.name; });

// Tables nobody's tool would write; each ends in its own message, quickly.
struct HostileTable {
    std::string name;
    std::function<Bytes()> make;
    std::string message;
};

void PrintTo(const HostileTable& c, std::ostream* os) {
    *os << c.name;
}

Bytes atDisk(std::vector<ATEntrySpec> entries, std::int64_t sectors = 8192) {
    Bytes disk(static_cast<std::size_t>(sectors * 512), 0);
    place(disk, 0, atTableSector(entries));
    place(disk, 63 * 512, VolumeBuilder(VolumeParameters::withClusters(3000)).build());
    return disk;
}

class HostileTableTest : public ::testing::TestWithParam<HostileTable> {};

TEST_P(HostileTableTest, EndsInAClearErrorAndOpensNothing) {
    TempDir dir;
    writeFile(dir / "hostile.img", GetParam().make());
    EXPECT_EQ(errorText([&] { DiskImageService().open(dir / "hostile.img"); }),
              "ヘッダの解析に失敗しました: " + GetParam().message);
    EXPECT_EQ(errorText([&] { DiskImageService::partitionsOf(dir / "hostile.img"); }),
              GetParam().name == "volumeLargerThanItsPartition"
                  ? "no error"
                  : "ヘッダの解析に失敗しました: " + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, HostileTableTest,
    ::testing::Values(
        HostileTable{"entryPastTheFile",
                     [] {
                         return atDisk({{0x06, 63, 0xFFFFFF00}});
                     },
                     "パーティションがファイルの範囲外です: 1"},
        HostileTable{"overlapping",
                     [] {
                         return atDisk({{0x01, 63, 4000}, {0x04, 1000, 2000}});
                     },
                     "パーティションが重なっています: 1, 2"},
        HostileTable{"extendedChainLoops",
                     [] {
                         Bytes disk = atDisk({{0x01, 63, 4000}, {0x05, 5000, 3000}});
                         // 5000 -> 5100 -> 5200 -> 5100 -> ...
                         place(disk, 5000 * 512, atTableSector({{}, {0x05, 100, 10}}));
                         place(disk, 5100 * 512, atTableSector({{}, {0x05, 200, 10}}));
                         place(disk, 5200 * 512, atTableSector({{}, {0x05, 100, 10}}));
                         return disk;
                     },
                     "拡張パーティションのチェーンが循環しています"},
        HostileTable{"extendedRecordPastTheFile",
                     [] {
                         return atDisk({{0x01, 63, 4000}, {0x0F, 0x10000000, 10}});
                     },
                     "拡張パーティションの管理セクタを読み取れません"},
        HostileTable{"pc98EntryPastTheFile",
                     [] {
                         PartitionedDisk disk = twoPartitionPC98Disk();
                         place(disk.bytes, 512 + 32 + 14, Bytes{0xFF, 0x7F});
                         return disk.bytes;
                     },
                     "パーティションがファイルの範囲外です: 2"},
        HostileTable{"volumeLargerThanItsPartition",
                     [] {
                         return atDisk({{0x01, 63, 100}});
                     },
                     "ボリュームがパーティションの範囲を超えています（パーティション: 1）"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace tamberlane::test

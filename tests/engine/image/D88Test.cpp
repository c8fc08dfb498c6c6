// The D88 container: how sectors are found in the track records, how the flat volume is
// put back, which disk of a multi-disk file is opened and saved, and real files.

#include "ContainerTestSupport.h"

#include "engine/fat/DiskImageService.h"
#include "engine/image/formats/D88Format.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tamberlane::test {
namespace {

struct SectorSpec {
    std::uint8_t record;
    std::uint8_t fill;
    std::uint16_t dataSize = 512;
    std::uint8_t sizeCode = 2;
};

// A D88 disk stated record by record; `tracks[t]` is table entry t (empty: offset 0).
// Every sector header carries the sector count `count`.
Bytes makeD88(std::uint8_t type, const std::vector<std::vector<SectorSpec>>& tracks,
              std::uint16_t count) {
    Bytes file(688, 0);
    file[0x1B] = type;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        if (tracks[t].empty()) {
            continue;
        }
        writeU32LE(file, 0x20 + 4 * t, static_cast<std::uint32_t>(file.size()));
        for (const SectorSpec& s : tracks[t]) {
            Bytes header(16, 0);
            header[0] = static_cast<std::uint8_t>(t / 2);
            header[1] = static_cast<std::uint8_t>(t % 2);
            header[2] = s.record;
            header[3] = s.sizeCode;
            writeU16LE(header, 4, count);
            writeU16LE(header, 14, s.dataSize);
            file.insert(file.end(), header.begin(), header.end());
            file.insert(file.end(), s.dataSize, s.fill);
        }
    }
    writeU32LE(file, 0x1C, static_cast<std::uint32_t>(file.size()));
    return file;
}

Bytes flatOf(const Bytes& file) {
    const D88ImageFormat format(D88ImageFormat::parseHeader(file));
    return D88ImageFormat::extractFlatData(ImageFileReader(file), format.header,
                                           format.parseGeometry(ImageFileReader(file)));
}

Bytes filled(std::uint8_t value, std::size_t size = 512) {
    return Bytes(size, value);
}

struct ExtractionCase {
    const char* name;
    std::vector<std::vector<SectorSpec>> tracks;
    std::uint16_t count;
    std::vector<std::uint8_t> sectorFills; // the flat volume's first sectors; zeros after
    std::size_t cutBytes = 0;              // taken off the end of the file
};

class D88Extraction : public ::testing::TestWithParam<ExtractionCase> {};

TEST_P(D88Extraction, SectorsLandWhereTheirRecordNumberSays) {
    const ExtractionCase& c = GetParam();
    Bytes file = makeD88(0x10, c.tracks, c.count);
    file.resize(file.size() - c.cutBytes);
    const Bytes flat = flatOf(file);
    Bytes expected;
    for (std::uint8_t fill : c.sectorFills) {
        expected.insert(expected.end(), 512, fill);
    }
    expected.resize(flat.size(), 0);
    EXPECT_EQ(flat, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Records, D88Extraction,
    ::testing::Values(
        ExtractionCase{"outOfOrder", {{{3, 0x33}, {1, 0x11}, {2, 0x22}}}, 3, {0x11, 0x22, 0x33}},
        ExtractionCase{"missingSectorIsZeros",
                       {{{1, 0x11}, {2, 0x22}, {3, 0x33}}, {{1, 0x44}, {3, 0x66}}},
                       3,
                       {0x11, 0x22, 0x33, 0x44, 0, 0x66}},
        ExtractionCase{"shortTrackDoesNotTakeTheNextTracksRecords",
                       {{{1, 0x11}, {2, 0x22}}, {{1, 0x44}, {2, 0x55}, {3, 0x66}}},
                       3,
                       {0x11, 0x22, 0, 0x44, 0x55, 0x66}},
        ExtractionCase{"recordZeroDropped", {{{0, 0xAA}, {1, 0x11}, {2, 0x22}}}, 3, {0x11, 0x22}},
        ExtractionCase{"dataSizeZeroEndsTrack",
                       {{{1, 0x11}, {2, 0x22, 0}, {3, 0x33}}, {{1, 0x44}}},
                       3,
                       {0x11, 0, 0, 0x44}},
        ExtractionCase{"oversizedDataCut", {{{1, 0x11, 600}, {2, 0x22}}}, 2, {0x11, 0x22}},
        // The disk states more bytes than the file holds: the records up to its end count.
        ExtractionCase{"lastRecordRunsPastTheEndOfTheFile",
                       {{{1, 0x11}, {2, 0x22}}, {{1, 0x44}, {2, 0x55}}},
                       2,
                       {0x11, 0x22, 0x44},
                       1},
        ExtractionCase{"lastRecordHeaderCutByTheEndOfTheFile",
                       {{{1, 0x11}, {2, 0x22}}, {{1, 0x44}, {2, 0x55}}},
                       2,
                       {0x11, 0x22, 0x44},
                       512 + 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(D88Rebuild, OnlyMappedSectorDataChangesAndTheFileKeepsItsSize) {
    const Bytes file = makeD88(0x10, {{{0, 0xAA}, {2, 0x22, 600}, {1, 0x11}}}, 3);
    const D88ImageFormat format(D88ImageFormat::parseHeader(file));
    const DiskGeometry geometry = format.parseGeometry(ImageFileReader(file));
    const Bytes flat(static_cast<std::size_t>(geometry.totalBytes()), 0x77);
    const Bytes rebuilt =
        D88ImageFormat::rebuildFile(PagedBytes(flat), PagedBytes(file), geometry).toBytes();
    ASSERT_EQ(rebuilt.size(), file.size());
    Bytes expected = file;
    const std::size_t r0 = 688, r2 = r0 + 16 + 512, r1 = r2 + 16 + 600;
    std::fill_n(expected.begin() + r2 + 16, 512, 0x77); // the 88 extra bytes stay
    std::fill_n(expected.begin() + r1 + 16, 512, 0x77);
    EXPECT_EQ(rebuilt, expected);
    EXPECT_EQ(
        D88ImageFormat::rebuildFile(PagedBytes(flat), PagedBytes(rebuilt), geometry).toBytes(),
        rebuilt);
}

// Protected disks repeat sector numbers or use ones past the track; the save wrote the
// sector shown into every record that claims its slot, destroying the hidden ones.
TEST(D88Rebuild, RecordsHiddenByALaterClaimantSurviveASave) {
    const Bytes repeated = makeD88(0x10, {{{1, 0x11}, {1, 0x99}, {2, 0x22}}}, 3);
    const Bytes pastTheTrack = makeD88(0x10, {{{1, 0x11}, {3, 0x99}}, {{1, 0x44}, {2, 0x55}}}, 2);
    for (const Bytes& file : {repeated, pastTheTrack}) {
        const D88ImageFormat format(D88ImageFormat::parseHeader(file));
        const DiskGeometry geometry = format.parseGeometry(ImageFileReader(file));
        EXPECT_EQ(D88ImageFormat::rebuildFile(PagedBytes(flatOf(file)), PagedBytes(file), geometry)
                      .toBytes(),
                  file);
    }
}

struct CylinderCase {
    std::uint8_t type;
    int describedTracks;
    std::int64_t cylinders;
};

class D88Cylinders : public ::testing::TestWithParam<CylinderCase> {};

// The type byte alone lost the last three cylinders of a new 1.44 MB disk (160 tracks
// read as 77 cylinders) and most of a real 2HD disk labelled 2D. The conformance suite
// writes the last cluster of a new 1.44 MB D88 and reads it back.
TEST_P(D88Cylinders, CountFollowsTheTrackTableWhenItHoldsMoreThanTheType) {
    const CylinderCase c = GetParam();
    std::vector<std::vector<SectorSpec>> tracks(static_cast<std::size_t>(c.describedTracks));
    for (auto& track : tracks) {
        track = {{1, 0x11, 128, 0}};
    }
    const Bytes file = makeD88(c.type, tracks, 1);
    const D88ImageFormat format(D88ImageFormat::parseHeader(file));
    EXPECT_EQ(format.parseGeometry(ImageFileReader(file)), (DiskGeometry{2, c.cylinders, 1, 128}));
}

INSTANTIATE_TEST_SUITE_P(TypeAndTable, D88Cylinders,
                         ::testing::Values(CylinderCase{0x00, 80, 40}, CylinderCase{0x00, 3, 40},
                                           CylinderCase{0x00, 154, 77}, CylinderCase{0x00, 81, 41},
                                           CylinderCase{0x10, 160, 80}, CylinderCase{0x20, 154, 77},
                                           CylinderCase{0x20, 160, 80},
                                           CylinderCase{0x20, 164, 82}));

// A sector without a record of its own reads as zeros and a save has nowhere to put it:
// data allocated there vanished while the operation reported success.
TEST(D88MissingTrack, ClustersWithoutRecordsAreNeverAllocated) {
    TempDir dir;
    const auto path = dir / "disk.d88";
    Bytes file = createNewImage({NewImageFormat::d88, DiskSize::kb640});
    const std::size_t track10 = 688 + 10 * 8 * (512 + 16);
    writeU16LE(file, track10 + 14, 0); // a zero data size ends the track: sectors 80-87
    writeFile(path, file);
    const std::set<std::uint16_t> unstored = {36, 37, 38, 39};
    std::vector<std::uint16_t> clusters;
    {
        DiskImageService service;
        const auto image = service.open(path);
        EXPECT_EQ(image->fatTable().freeClusterCount(), 634 - 4);
        EXPECT_EQ(errorKind([&] { FATTable(image->fatTable()).allocate(631); }),
                  DiskImageError::Kind::diskFull);
        clusters = image->fatTable().allocate(630);
        for (std::uint16_t c : clusters) {
            EXPECT_FALSE(unstored.count(c)) << c;
            image->writeCluster(c, filled(static_cast<std::uint8_t>(c), 1024));
        }
        image->saveToFile();
    }
    DiskImageService service;
    const auto image = service.open(path);
    for (std::uint16_t c : clusters) {
        ASSERT_EQ(image->readCluster(c), filled(static_cast<std::uint8_t>(c), 1024)) << c;
    }
}

// N has no code for 2048 or 4096 bytes: such a disk was written as 512-byte sectors
// holding 2048 bytes each and read back as a different volume, yet reported converted.
TEST(D88Writer, SectorSizeWithoutASizeCodeIsRefused) {
    for (std::int64_t bytesPerSector : {2048, 4096}) {
        const DiskGeometry geometry{2, 80, 9, bytesPerSector};
        const Bytes flat(static_cast<std::size_t>(geometry.totalBytes()), 0x11);
        EXPECT_EQ(errorKind([&] { D88ImageFormat::buildD88Image(flat, geometry); }),
                  DiskImageError::Kind::headerParseFailure)
            << bytesPerSector;
    }
}

class D88MultiDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        diskA = createNewImage({NewImageFormat::d88, DiskSize::kb640});
        diskB = createNewImage({NewImageFormat::d88, DiskSize::mb1_44});
        std::copy_n("SECOND", 6, diskB.begin());
        partial = Bytes(diskA.begin(), diskA.begin() + 2000); // states a size it does not have
        file = diskA;
        file.insert(file.end(), diskB.begin(), diskB.end());
        file.insert(file.end(), partial.begin(), partial.end());
        writeFile(path, file);
    }

    // Opens disk `index`, changes one data sector, saves; returns the new file.
    Bytes changeAndSave(std::optional<int> index) {
        DiskImageService service;
        const auto image = service.open(path, std::nullopt, {.disk = index});
        image->writeSector(image->addressing().firstDataSector(), filled(0xE5 ^ 0xFF));
        image->saveToFile();
        return readFile(path);
    }

    TempDir dir;
    std::filesystem::path path = dir / "multi.d88";
    Bytes diskA, diskB, partial, file;
};

TEST_F(D88MultiDisk, ListsCompleteDisksOnlyAndStopsAtTheTrailingPartOne) {
    const auto disks = D88ImageFormat::detectMultipleDisks(file);
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].offset, 0);
    EXPECT_EQ(disks[1].offset, static_cast<std::int64_t>(diskA.size()));
    EXPECT_EQ(disks[1].header.diskName, "SECOND");
    EXPECT_EQ(disks[1].header.diskSize, diskB.size());
}

TEST_F(D88MultiDisk, ChosenSecondDiskIsTheOneShownAndSaved) {
    {
        DiskImageService service;
        const auto image = service.open(path, std::nullopt, VolumeChoice::ofDisk(1));
        EXPECT_EQ(image->layout().geometry, (DiskGeometry{2, 80, 18, 512}));
        EXPECT_EQ(image->layout().bpb.totalSectors16, 2880);
        EXPECT_EQ(image->layout().d88DiskOffset, static_cast<std::int64_t>(diskA.size()));
    }
    const Bytes saved = changeAndSave(1);
    ASSERT_EQ(saved.size(), file.size());
    EXPECT_TRUE(std::equal(diskA.begin(), diskA.end(), saved.begin())) << "disk 1 untouched";
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), saved.end() - partial.size()));
    const Bytes savedB(saved.begin() + diskA.size(), saved.begin() + diskA.size() + diskB.size());
    EXPECT_NE(savedB, diskB);
    EXPECT_EQ(std::mismatch(savedB.begin(), savedB.end(), diskB.begin()).first - savedB.begin(),
              688 + (1 + 18 + 14) * (16 + 512) + 16)
        << "the first change is the first data sector (LBA 33) of disk 2";
}

TEST_F(D88MultiDisk, WithoutAChoiceTheFirstDiskIsSavedAndTheSecondStaysByteIdentical) {
    {
        DiskImageService service;
        EXPECT_EQ(service.open(path)->layout().geometry, (DiskGeometry{2, 80, 8, 512}));
    }
    const Bytes saved = changeAndSave(std::nullopt);
    ASSERT_EQ(saved.size(), file.size());
    EXPECT_NE(Bytes(saved.begin(), saved.begin() + diskA.size()), diskA);
    EXPECT_TRUE(std::equal(diskB.begin(), diskB.end(), saved.begin() + diskA.size()));
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), saved.end() - partial.size()));
    writeFile(path, file);
    EXPECT_EQ(changeAndSave(0), saved);
}

TEST_F(D88MultiDisk, DiskNumberOutOfRangeFailsAsAHeaderError) {
    DiskImageService service;
    try {
        service.open(path, std::nullopt, VolumeChoice::ofDisk(2));
        FAIL() << "disk 3 of 2 opened";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::headerParseFailure);
        EXPECT_EQ(e.text(), "指定されたディスク番号が範囲外です: 3（ディスク数: 2）");
    }
    EXPECT_EQ(errorKind([&] { service.open(path, std::nullopt, VolumeChoice::ofDisk(-1)); }),
              DiskImageError::Kind::headerParseFailure);
    EXPECT_EQ(service.currentImage(), nullptr);
}

TEST(D88DiskList, DiskSizeBelowTheHeaderEndsTheList) {
    for (std::uint32_t size : {0u, 1u, 16u, 687u}) {
        Bytes file = createNewImage({NewImageFormat::d88, DiskSize::kb640});
        writeU32LE(file, 0x1C, size);
        EXPECT_TRUE(D88ImageFormat::detectMultipleDisks(file).empty()) << size;
    }
}

TEST(D88WriteProtect, ProtectedDiskRefusesWritesAndSaves) {
    TempDir dir;
    const auto path = dir / "wp.d88";
    Bytes file = createNewImage({NewImageFormat::d88, DiskSize::kb640});
    file[0x1A] = 0x10;
    writeFile(path, file);
    DiskImageService service;
    const auto image = service.open(path);
    EXPECT_TRUE(image->layout().isWriteProtected);
    EXPECT_EQ(errorKind([&] { image->writeSector(20, filled(1)); }),
              DiskImageError::Kind::writeProtected);
    EXPECT_EQ(errorKind([&] { image->saveToFile(); }), DiskImageError::Kind::writeProtected);
    EXPECT_EQ(readFile(path), file);
}

TEST(D88Corpus, ProtectedTownsDiskListsAndReadsEveryFile) {
    const auto corpus = corpusDirectory();
    if (corpus.empty() || !std::filesystem::exists(corpus / "towns_util_protected.d88")) {
        GTEST_SKIP() << "corpus absent";
    }
    TempDir dir;
    const auto path = dir / "towns.d88";
    std::filesystem::copy_file(corpus / "towns_util_protected.d88", path);
    DiskImageService service;
    const auto image = service.open(path);
    EXPECT_TRUE(image->layout().isWriteProtected);
    EXPECT_EQ(image->layout().geometry, (DiskGeometry{2, 77, 8, 1024}));
    EXPECT_EQ(image->data().size(), 1261568u);
    EXPECT_EQ(image->layout().bpb.totalSectors16, 1232);

    const std::map<std::string, std::uint32_t> rootFiles = {
        {"FTCLIENT.EXP", 154925}, {"XMRECV.EXP", 27570}, {"XMSEND.EXP", 32854},
        {"FTCLIENT.BAT", 46},     {"XMRECV.BAT", 71},    {"XMSEND.BAT", 64},
        {"TGDRV.COM", 1172},      {"TMENU.ITM", 133},    {"DOSINT16.COM", 95},
        {"DOSINT1C.COM", 69},     {"DOSINT10.COM", 102}};
    // The three DOSINT files follow WIN31_95 in the root (as mdir lists the volume).
    const std::map<std::string, std::uint32_t> subFiles = {{"TGMOUSE.EXE", 15896}};
    const auto readAll = [&](const DiskPath& where) {
        std::map<std::string, std::uint32_t> sizes;
        for (const FileEntry& entry : service.listDirectory(where)) {
            const auto& d = entry.directoryEntry;
            if (d.isDirectory() || d.attributes.contains(FileAttributes::volumeLabel)) {
                continue;
            }
            EXPECT_EQ(service.readFile(entry).size(), d.size) << d.shortName();
            sizes[d.shortName()] = d.size;
        }
        return sizes;
    };
    EXPECT_EQ(readAll(DiskPath::root()), rootFiles);
    EXPECT_EQ(readAll(DiskPath::fromString("WIN31_95")), subFiles);
}

TEST(D88Corpus, DiskWithoutAFATFileSystemFailsCleanly) {
    const auto corpus = corpusDirectory();
    if (corpus.empty() || !std::filesystem::exists(corpus / "x1_hubasic_not_fat.d88")) {
        GTEST_SKIP() << "corpus absent";
    }
    TempDir dir;
    const auto path = dir / "x1.d88";
    std::filesystem::copy_file(corpus / "x1_hubasic_not_fat.d88", path);
    DiskImageService service;
    EXPECT_THROW(service.open(path), DiskImageError);
    EXPECT_EQ(service.currentImage(), nullptr);
    EXPECT_EQ(service.fileDescriptor(), -1);
    EXPECT_FALSE(isLocked(path)) << "a failed open left the file locked";
}

} // namespace
} // namespace tamberlane::test

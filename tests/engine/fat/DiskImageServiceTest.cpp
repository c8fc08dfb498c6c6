#include "engine/fat/DiskImageService.h"
#include "engine/base/DiskImageError.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/file.h>
#include <unistd.h>

namespace tamberlane {
namespace {

using test::errorText;
using test::isLocked;
using test::OtherProcessLock;
using test::VolumeBuilder;
using test::VolumeParameters;
namespace fs = std::filesystem;

const std::string lockConflictText =
    "ファイルのロック競合が発生しました: "
    "ファイルのロックを取得できませんでした。他のプロセスが使用中です。";

class DiskImageServiceTest : public ::testing::Test {
  protected:
    fs::path write(const std::string& name, const Bytes& bytes) {
        const fs::path path = dir / name;
        test::writeFile(path, bytes);
        return path;
    }
    // A 1.44 MB volume holding HELLO.TXT.
    static Bytes floppy(const std::string& content = "hello") {
        VolumeBuilder v;
        v.addFile(v.root(), test::name83("HELLO.TXT"), test::bytesOf(content));
        return v.build();
    }
    std::string firstFileText() {
        const auto entries = service.listDirectory(DiskPath::root());
        if (entries.empty()) {
            return "<empty>";
        }
        const Bytes bytes = service.readFile(entries.front());
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempDir dir;
    DiskImageService service;
};

class PlainExtensionTest : public DiskImageServiceTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(PlainExtensionTest, HeaderlessExtensionsOpenInAnyCase) {
    const auto image = service.open(write(GetParam(), floppy()));
    EXPECT_EQ(image->layout().geometry, (DiskGeometry{2, 80, 18, 512}));
    EXPECT_EQ(image->layout().dataOffset, 0);
    EXPECT_FALSE(image->layout().isWriteProtected);
    EXPECT_EQ(firstFileText(), "hello");
}

INSTANTIATE_TEST_SUITE_P(Names, PlainExtensionTest,
                         ::testing::Values("DISK.IMG", "disk.img", "Disk.TfD", "a.bin", "a.XDF",
                                           "a.hdm", "two.dots.img"));

TEST_F(DiskImageServiceTest, UnknownExtensionWithoutKnownContentIsRejectedInLowerCase) {
    EXPECT_EQ(errorText([&] { service.open(write("DISK.XYZ", Bytes(1474560, 0))); }),
              "サポートされていないディスクイメージ形式です: xyz");
    EXPECT_EQ(errorText([&] { service.open(write("DISK", Bytes(1474560, 0xE5))); }),
              "サポートされていないディスクイメージ形式です: ");
    EXPECT_EQ(service.currentImage(), nullptr);
}

TEST_F(DiskImageServiceTest, OtherSizesListEveryKnownSizeFloppiesFirst) {
    EXPECT_EQ(
        errorText([&] { service.open(write("disk.img", Bytes(1000, 0))); }),
        "ファイルサイズが不正です。期待値: 1261568, 1474560, 655360, 5326848, 10653696, 21307392 "
        "バイト、実際: 1000 バイト");
}

// A boot sector found after the nominal offset becomes the data offset, which every
// later read is relative to.
TEST_F(DiskImageServiceTest, SearchStopsAfterThreeHundredSectorsAndRequiresAJump) {
    VolumeBuilder v;
    v.addFile(v.root(), test::name83("HELLO.TXT"), test::bytesOf("shifted"));
    EXPECT_EQ(
        service.open(write("s299.img", v.build({.dataOffset = 299 * 512, .fileSize = 1474560})))
            ->layout()
            .dataOffset,
        299 * 512);
    EXPECT_EQ(firstFileText(), "shifted");
    EXPECT_EQ(errorText([&] {
                  service.open(
                      write("s300.img", v.build({.dataOffset = 300 * 512, .fileSize = 1474560})));
              }),
              "BPBの値が不正です: bytesPerSectorが不正です: 0（有効値: 128, 256, 512, 1024, 2048, "
              "4096）");
    VolumeParameters noJump;
    noJump.firstByte = 0x00;
    EXPECT_THROW(service.open(write("nojump.img", VolumeBuilder(noJump).build(
                                                      {.dataOffset = 512, .fileSize = 1474560}))),
                 DiskImageError);
    // At the nominal offset a boot sector needs no jump.
    EXPECT_EQ(
        service.open(write("nojump0.img", VolumeBuilder(noJump).build()))->layout().dataOffset, 0);
}

class ClusterBoundaryTest : public DiskImageServiceTest,
                            public ::testing::WithParamInterface<int> {};

// 128-byte sectors put either cluster count inside a 1.44 MB file.
TEST_P(ClusterBoundaryTest, FATTypeFollowsTheClusterCountAndDecodesTheLastCluster) {
    const int clusters = GetParam();
    VolumeBuilder v(VolumeParameters::withClusters(clusters, 128));
    // Every cluster but the last is marked bad, so the file lands in the last one.
    for (int c = 2; c <= clusters; ++c) {
        v.setFAT(static_cast<std::uint16_t>(c), clusters <= 4084 ? 0xFF7 : 0xFFF7);
    }
    v.addFile(v.root(), test::name83("FIRST.BIN"), Bytes{});
    v.addFile(v.root(), test::name83("LAST.BIN"), test::bytesOf("last cluster"));
    const auto image = service.open(write("edge.img", v.build({.fileSize = 1474560})));
    EXPECT_EQ(image->layout().fatType, clusters <= 4084 ? FATType::fat12 : FATType::fat16);
    EXPECT_EQ(image->fatTable().entries().size(), static_cast<std::size_t>(clusters + 2));
    const auto entries = service.listDirectory(DiskPath::root());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].directoryEntry.startCluster, clusters + 1);
    EXPECT_EQ(service.readFile(entries[1]), test::bytesOf("last cluster"));
    EXPECT_TRUE(service.readFile(entries[0]).empty());
    EXPECT_EQ(image->fatTable().freeClusterCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Counts, ClusterBoundaryTest, ::testing::Values(4084, 4085));

TEST_F(DiskImageServiceTest, ManualParametersOpenAnySizeAndForceTheFATType) {
    VolumeParameters roomyFAT;
    roomyFAT.sectorsPerFAT = 12; // room for a 16-bit table of the same clusters
    VolumeBuilder v(roomyFAT);
    v.addFile(v.root(), test::name83("HELLO.TXT"), test::bytesOf("manual"));
    const fs::path path = write("odd.img", v.build({.dataOffset = 4096, .fileSize = 1024000}));
    EXPECT_THROW(service.open(path), DiskImageError);
    ManualParameters params;
    params.dataOffset = 4096;
    params.heads = 1;
    params.cylinders = 2;
    params.sectorsPerTrack = 3;
    const auto image = service.open(path, params);
    EXPECT_EQ(image->layout().dataOffset, 4096);
    EXPECT_EQ(image->layout().geometry, (DiskGeometry{1, 2, 3, 512}));
    EXPECT_EQ(image->layout().fatType, FATType::fat12);
    EXPECT_EQ(firstFileText(), "manual");
    params.fatType = FATType::fat16;
    EXPECT_EQ(service.open(path, params)->layout().fatType, FATType::fat16);

    ManualParameters tooSmall;
    tooSmall.fatType = FATType::fat16;
    EXPECT_EQ(errorText([&] { service.open(write("small.bin", floppy()), tooSmall); }),
              "FATテーブルが破損しています: "
              "FAT16テーブルのデータが不足しています（4608バイト、5698バイト必要）");
}

TEST_F(DiskImageServiceTest, ManualOffsetsNearTheIntegerLimitFailCleanly) {
    const fs::path path = write("disk.img", floppy());
    const std::string cannotRead =
        "ヘッダの解析に失敗しました: 指定されたデータオフセットでブートセクタを読み取れません";
    const std::vector<std::pair<std::int64_t, std::int64_t>> cases = {
        {INT64_MAX, 512}, {INT64_MAX - 511, 512}, {0, INT64_MAX}, {512, INT64_MAX - 511},
        {-512, 512},      {1474560 - 511, 512},   {0, 0},
    };
    for (const auto& [offset, sectorSize] : cases) {
        SCOPED_TRACE(std::to_string(offset) + "/" + std::to_string(sectorSize));
        ManualParameters params;
        params.dataOffset = offset;
        params.bytesPerSector = sectorSize;
        EXPECT_EQ(errorText([&] { service.open(path, params); }), cannotRead);
    }
}

TEST(BootSectorSearchTest, SearchNeverOverflowsOrReadsPastTheData) {
    VolumeBuilder v;
    const Bytes data = v.build({.dataOffset = 1024, .fileSize = 1024 + 512});
    EXPECT_EQ(DiskImageService::findBPBInImage(data, 0, 512, 300, true), 1024);
    EXPECT_EQ(DiskImageService::findBPBInImage(data, 1024, 512, 300, true), 1024);
    EXPECT_EQ(DiskImageService::findBPBInImage(data, 0, 512, 2, true), std::nullopt);
    EXPECT_EQ(DiskImageService::findBPBInImage(data, 1536, 512, 300, true), std::nullopt);
    // The last candidate is cut short by the end of the data.
    EXPECT_EQ(DiskImageService::findBPBInImage(ByteView(data).first(1024 + 511), 0, 512, 300, true),
              std::nullopt);
    for (const auto& [offset, size, count] :
         std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>>{
             {INT64_MAX, 512, 300},
             {INT64_MAX - 100, 512, INT64_MAX},
             {0, INT64_MAX, INT64_MAX},
             {1024, INT64_MAX, 1},
             {-512, 512, 300},
             {INT64_MIN, 512, 300},
             {0, 0, 300},
             {0, -512, 300},
             {0, 512, -1}}) {
        SCOPED_TRACE(std::to_string(offset) + "/" + std::to_string(size) + "/" +
                     std::to_string(count));
        EXPECT_EQ(DiskImageService::findBPBInImage(data, offset, size, count, false), std::nullopt);
    }
}

TEST_F(DiskImageServiceTest, OpeningAnotherFileAndComingBackKeepsOneLockPerFile) {
    const fs::path a = write("a.img", floppy("A"));
    const fs::path b = write("b.img", floppy("B"));
    service.open(a);
    EXPECT_TRUE(isLocked(a));
    service.open(b);
    EXPECT_FALSE(isLocked(a)) << "the replaced image's lock was not released";
    EXPECT_TRUE(isLocked(b));
    const auto again = service.open(a);
    EXPECT_FALSE(again->layout().isReadOnly);
    EXPECT_EQ(firstFileText(), "A");
    EXPECT_FALSE(isLocked(b));
    service.close();
    EXPECT_FALSE(isLocked(a));
    EXPECT_EQ(service.fileDescriptor(), -1);
    EXPECT_EQ(service.currentImage(), nullptr);
}

TEST_F(DiskImageServiceTest, ReopeningTheFileAlreadyOpenKeepsItWritable) {
    const fs::path a = write("a.img", floppy("A"));
    const auto first = service.open(a);
    const int fd = service.fileDescriptor();
    const auto second = service.open(a);
    EXPECT_NE(first, second);
    EXPECT_FALSE(second->layout().isReadOnly);
    EXPECT_EQ(service.fileDescriptor(), fd);
    EXPECT_TRUE(isLocked(a));
    EXPECT_NO_THROW(second->saveToFile());
    EXPECT_TRUE(isLocked(a));
}

// Also when the new file is locked exclusively by another process.
TEST_F(DiskImageServiceTest, FailedOpenKeepsThePreviousImageAndItsLock) {
    const fs::path a = write("a.img", floppy("A"));
    const fs::path bad = write("bad.img", Bytes(1000, 0));
    const fs::path garbage = write("garbage.img", Bytes(1474560, 0x00));
    const auto image = service.open(a);
    const int fd = service.fileDescriptor();
    for (const fs::path& failing : {bad, garbage, dir / "missing.img", dir.path()}) {
        SCOPED_TRACE(failing.string());
        EXPECT_THROW(service.open(failing), DiskImageError);
        EXPECT_EQ(service.currentImage(), image);
        EXPECT_EQ(service.fileDescriptor(), fd);
        EXPECT_TRUE(isLocked(a));
        EXPECT_FALSE(isLocked(failing)) << "a failed open left its file locked";
    }
    ManualParameters params;
    params.dataOffset = INT64_MAX;
    EXPECT_THROW(service.open(garbage, params), DiskImageError);
    EXPECT_FALSE(isLocked(garbage));
    params.dataOffset = 7; // a failed reopen of the current file keeps its lock too
    EXPECT_THROW(service.open(a, params), DiskImageError);
    EXPECT_EQ(service.currentImage(), image);
    EXPECT_TRUE(isLocked(a));
    const fs::path other = write("other.img", floppy("other"));
    OtherProcessLock holder(other, LOCK_EX);
    ASSERT_TRUE(holder.acquired());
    EXPECT_EQ(errorText([&] { service.open(other); }), lockConflictText);
    EXPECT_EQ(firstFileText(), "A");
    EXPECT_TRUE(isLocked(a));
}

TEST_F(DiskImageServiceTest, FileHeldSharedElsewhereOpensReadOnlyAndCannotBeSaved) {
    const fs::path path = write("shared.img", floppy("S"));
    OtherProcessLock holder(path, LOCK_SH);
    ASSERT_TRUE(holder.acquired());
    const auto image = service.open(path);
    EXPECT_TRUE(image->layout().isReadOnly);
    EXPECT_EQ(firstFileText(), "S");
    EXPECT_EQ(errorText([&] { image->saveToFile(); }),
              "ディスクイメージはライトプロテクトされています");
}

// Root may write any file: drop to an unprivileged user for the open itself.
class UnprivilegedScope {
  public:
    UnprivilegedScope() {
        if (geteuid() == 0) {
            dropped_ = setegid(65534) == 0 && seteuid(65534) == 0;
        }
    }
    ~UnprivilegedScope() {
        if (dropped_) {
            (void)!seteuid(0);
            (void)!setegid(0);
        }
    }
    bool usable() const { return geteuid() != 0; }

  private:
    bool dropped_ = false;
};

TEST_F(DiskImageServiceTest, FileWithoutWritePermissionOpensReadOnlyWithASharedLock) {
    const fs::path path = write("ro.img", floppy("RO"));
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    std::shared_ptr<DiskImage> image;
    {
        UnprivilegedScope unprivileged;
        if (!unprivileged.usable()) {
            GTEST_SKIP() << "cannot drop privileges";
        }
        image = service.open(path);
    }
    EXPECT_TRUE(image->layout().isReadOnly);
    EXPECT_FALSE(image->layout().isWriteProtected);
    EXPECT_EQ(firstFileText(), "RO");
    EXPECT_TRUE(isLocked(path));
    OtherProcessLock reader(path, LOCK_SH);
    EXPECT_TRUE(reader.acquired()) << "a read-only open must hold only a shared lock";
    EXPECT_EQ(errorText([&] { image->saveToFile(); }),
              "ディスクイメージはライトプロテクトされています");
}

TEST_F(DiskImageServiceTest, ReadingWithoutAnImageIsAnIOError) {
    const std::string expected = "I/Oエラーが発生しました: ディスクイメージが開かれていません";
    EXPECT_EQ(errorText([&] { service.listDirectory(DiskPath::root()); }), expected);
    EXPECT_EQ(errorText([&] { service.readFile(FileEntry{}); }), expected);
}

} // namespace
} // namespace tamberlane

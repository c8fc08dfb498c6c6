#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/HostFileName.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace tamberlane {
namespace {

using test::VolumeBuilder;
using test::VolumeParameters;

// Everything a hostile file must end in: an error at open, or a walk over every
// directory and file that either lists cleanly or stops at the first error.
struct HostileCase {
    const char* name;
    std::function<Bytes()> make;
    std::string expectedOpenError; // empty: the open succeeds
    std::string expectedWalkError; // empty: every directory lists and every file reads
    std::optional<ManualParameters> manual = std::nullopt;
    std::function<void(const std::vector<FileEntry>&)> checkRoot = nullptr;
};

struct Walk {
    std::string firstError;
    std::vector<std::string> paths;
};

void walk(const DiskImageService& service, const DiskPath& path, std::int64_t fileSize, Walk& out) {
    if (!out.firstError.empty() || path.components.size() > 80) {
        return;
    }
    std::vector<FileEntry> entries;
    try {
        entries = service.listDirectory(path);
    } catch (const DiskImageError& e) {
        out.firstError = e.errorDescription();
        return;
    }
    for (const FileEntry& entry : entries) {
        out.paths.push_back(entry.path.displayString());
        if (entry.directoryEntry.isDirectory()) {
            walk(service, entry.path, fileSize, out);
        } else {
            try {
                const Bytes bytes = service.readFile(entry);
                // Missing sectors of the last cluster read as zeros: at most one cluster more.
                EXPECT_LE(static_cast<std::int64_t>(bytes.size()), fileSize + 128 * 4096)
                    << entry.path.displayString();
                EXPECT_LE(bytes.size(), entry.directoryEntry.size);
            } catch (const DiskImageError& e) {
                out.firstError = e.errorDescription();
            }
        }
        if (!out.firstError.empty()) {
            return;
        }
    }
}

const Bytes fileName = test::name83("FILE.BIN");

// A 1.44 MB volume changed by `edit`.
std::function<Bytes()> volumeWith(std::function<void(VolumeBuilder&)> edit) {
    return [edit] {
        VolumeBuilder v;
        edit(v);
        return v.build();
    };
}

ManualParameters manualAt(std::int64_t offset, std::int64_t sectorSize = 512) {
    ManualParameters m;
    m.dataOffset = offset;
    m.bytesPerSector = sectorSize;
    return m;
}

std::vector<HostileCase> hostileCases() {
    const std::string depth = "ディレクトリの再帰深度が上限(64)を超えました";
    return {
        {"allZeroBootSector", [] { return Bytes(1474560, 0); },
         "BPBの値が不正です: bytesPerSectorが不正です: 0（有効値: 128, 256, 512, 1024, 2048, "
         "4096）",
         ""},
        {"bootSectorCutBelowTwentyFourBytes",
         [] { return VolumeBuilder().build({.fileSize = 23}); },
         "ヘッダの解析に失敗しました: "
         "ブートセクタのサイズが不足しています（23バイト、最低24バイト必要）",
         "", manualAt(0, 23)},
        {"fileEndsInsideTheFAT", [] { return VolumeBuilder().build({.fileSize = 2048}); },
         "FATテーブルが破損しています: FATテーブル領域がファイルサイズを超えています", "",
         manualAt(0)},
        {"hugeFATClaim", volumeWith([](VolumeBuilder& v) {
             v.patch(22, Bytes{0xFF, 0xFF});
         }),
         "FATテーブルが破損しています: FATテーブル領域がファイルサイズを超えています", ""},
        {"hugeRootClaim", volumeWith([](VolumeBuilder& v) {
             v.patch(17, Bytes{0xFF, 0xFF});
         }),
         "", "ヘッダの解析に失敗しました: ルートディレクトリ領域がファイルサイズを超えています"},
        {"fatTooShortForItsClusters", volumeWith([](VolumeBuilder& v) {
             v.patch(22, Bytes{0x01, 0x00});
         }),
         "FATテーブルが破損しています: "
         "FAT12テーブルのデータが不足しています（512バイト、4298バイト必要）",
         ""},
        {"chainLoops", volumeWith([](VolumeBuilder& v) {
             v.addFile(v.root(), fileName, test::patternBytes(2000));
             v.setFAT(5, 3);
         }),
         "", "クラスタチェーンに循環参照があります（クラスタ: 3）"},
        {"chainPointsPastTheTable", volumeWith([](VolumeBuilder& v) {
             v.addFile(v.root(), fileName, test::patternBytes(2000));
             v.setFAT(3, 0xF00);
         }),
         "", "不正なクラスタ番号です: 3840"},
        {"startClusterPastTheTable", volumeWith([](VolumeBuilder& v) {
             v.addSlot(v.root(), VolumeBuilder::shortEntry(fileName, 0x20, 0xFEE, 10));
         }),
         "", "不正なクラスタ番号です: 4078"},
        {"directoryStartsAtClusterZero", volumeWith([](VolumeBuilder& v) {
             v.addSlot(v.root(), VolumeBuilder::shortEntry(test::name83("DIR"), 0x10, 0, 0));
         }),
         "", "不正なクラスタ番号です: 0"},
        {"directoryContainsItself", volumeWith([](VolumeBuilder& v) {
             const auto dir = v.addDirectory(v.root(), test::name83("LOOP"));
             v.addSlot(dir, VolumeBuilder::shortEntry(test::name83("AGAIN"), 0x10,
                                                      v.firstCluster(dir), 0));
         }),
         "", depth},
        {"directoryChainLoops", volumeWith([](VolumeBuilder& v) {
             const auto dir = v.addDirectory(v.root(), test::name83("DIR"));
             v.setFAT(v.firstCluster(dir), v.firstCluster(dir));
         }),
         "", "クラスタチェーンに循環参照があります（クラスタ: 2）"},
        {"rootOfGarbage", volumeWith([](VolumeBuilder& v) {
             Bytes garbage = test::patternBytes(224 * 32, 7);
             for (std::size_t i = 0; i < garbage.size(); i += 32) {
                 garbage[i + 11] &= 0x2F; // files only, so the walk reads rather than recurses
                 garbage[i + 26] = 0; // start cluster 0 or 256-multiple: inside or past the table
             }
             v.patch(v.rootDirectoryOffset(), garbage);
         }),
         "", "ignore"},
        {"hugeClustersAndHugeSizes",
         [] {
             VolumeParameters p;
             p.bytesPerSector = 4096;
             p.sectorsPerCluster = 128;
             p.totalSectors16 = 65535;
             p.sectorsPerFAT = 1;
             p.rootEntryCount = 16;
             p.volumeBytes = 1474560;
             VolumeBuilder v(p);
             v.addFile(v.root(), fileName, test::bytesOf("tiny"));
             for (std::uint16_t c = 2; c < 500; ++c) {
                 v.setFAT(c, static_cast<std::uint16_t>(c + 1));
             }
             Bytes huge = VolumeBuilder::shortEntry(test::name83("HUGE.BIN"), 0x20, 2, 0xFFFFFFFF);
             v.addSlot(v.root(), huge);
             return v.build();
         },
         "", ""},
        {"namesThatAreNotSafeOnTheHost", volumeWith([](VolumeBuilder& v) {
             v.addFile(v.root(), test::bytesOf("A/B     TXT"), test::bytesOf("slash"));
             v.addFile(v.root(), test::bytesOf("..      TXT"), test::bytesOf("dots"));
             v.addFile(v.root(), test::name83("EVIL.TXT"), test::bytesOf("lfn"),
                       u"../../etc/passwd");
             v.addFile(v.root(), test::name83("DOTS.TXT"), test::bytesOf("lfn"), u"..");
             v.addFile(v.root(), test::name83("CTRL.TXT"), test::bytesOf("ctl"),
                       std::u16string(u"a\x01\x1F"
                                      u"b"));
             v.addSlot(v.root(),
                       VolumeBuilder::shortEntry(test::bytesOf("..         "), 0x10, 0, 0));
             v.addSlot(v.root(),
                       VolumeBuilder::shortEntry(test::bytesOf(".          "), 0x10, 0, 0));
         }),
         "", "", std::nullopt,
         [](const std::vector<FileEntry>& root) {
             ASSERT_EQ(root.size(), 4u) << "dot entries must never be listed";
             const std::filesystem::path folder = "/chosen/folder";
             std::vector<std::string> shown;
             for (const FileEntry& e : root) {
                 shown.push_back(e.directoryEntry.displayName());
                 const auto target =
                     HostFileName::pathInside(folder, e.directoryEntry.displayName());
                 EXPECT_EQ(target.parent_path(), folder) << shown.back();
                 EXPECT_NE(target.filename(), "..");
             }
             EXPECT_EQ(shown, (std::vector<std::string>{"A/B.TXT", "../../etc/passwd", "..",
                                                        "a\x01\x1F"
                                                        "b"}));
         }},
        {"invalidShiftJIS", volumeWith([](VolumeBuilder& v) {
             v.addFile(v.root(),
                       Bytes{0x81, 0x20, 0xFF, 0x41, 0x80, 0xFD, 0x20, 0x20, 0x82, 0x20, 0x20},
                       test::bytesOf("x"));
             v.addFile(v.root(),
                       Bytes{0x41, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x82, 0x41, 0x42, 0x43},
                       test::bytesOf("y"));
         }),
         "", "", std::nullopt,
         [](const std::vector<FileEntry>& root) {
             ASSERT_EQ(root.size(), 2u);
             const std::string r = "\xEF\xBF\xBD";
             EXPECT_EQ(root[0].directoryEntry.name, r + r + "A" + r + r);
             EXPECT_EQ(root[0].directoryEntry.extension_, r);
             EXPECT_EQ(root[1].directoryEntry.name, "A" + r);
             EXPECT_EQ(root[1].directoryEntry.extension_, "ABC");
         }},
        {"brokenLongNameRuns", volumeWith([](VolumeBuilder& v) {
             const Bytes shortName = test::name83("SHORT.TXT");
             auto slots =
                 VolumeBuilder::longNameSlots(u"a long name that needs two slots", shortName);
             v.addSlot(v.root(), slots[1]); // only the second part, without the flagged first
             v.addSlot(v.root(), VolumeBuilder::shortEntry(shortName, 0x20, 0, 0));
             v.addSlot(v.root(), VolumeBuilder::longNameSlot(0x41, 0x00, u"wrong sum"));
             v.addSlot(v.root(), VolumeBuilder::shortEntry(test::name83("SUM.TXT"), 0x20, 0, 0));
             for (int i = 0; i < 30; ++i) {
                 v.addSlot(v.root(), VolumeBuilder::longNameSlot(0x7F, 0x00, u"oversized"));
             }
             v.addSlot(v.root(), VolumeBuilder::shortEntry(test::name83("MANY.TXT"), 0x20, 0, 0));
         }),
         "", "", std::nullopt,
         [](const std::vector<FileEntry>& root) {
             ASSERT_EQ(root.size(), 3u);
             EXPECT_EQ(root[0].directoryEntry.displayName(), "SHORT.TXT");
             EXPECT_EQ(root[1].directoryEntry.displayName(), "SUM.TXT");
             EXPECT_EQ(root[2].directoryEntry.displayName(), "MANY.TXT");
         }},
    };
}

class HostileInputTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInputTest, EndsInTheRightErrorOrACleanListing) {
    const HostileCase& c = GetParam();
    test::TempDir dir;
    const auto path = dir / "hostile.img";
    const Bytes bytes = c.make();
    test::writeFile(path, bytes);
    DiskImageService service;
    std::string openError;
    try {
        service.open(path, c.manual);
    } catch (const DiskImageError& e) {
        openError = e.errorDescription();
    }
    ASSERT_EQ(openError, c.expectedOpenError);
    if (!openError.empty()) {
        EXPECT_EQ(service.currentImage(), nullptr);
        return;
    }
    if (c.checkRoot) {
        c.checkRoot(service.listDirectory(DiskPath::root()));
    }
    Walk result;
    walk(service, DiskPath::root(), static_cast<std::int64_t>(bytes.size()), result);
    if (c.expectedWalkError != "ignore") {
        EXPECT_EQ(result.firstError, c.expectedWalkError);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInputTest, ::testing::ValuesIn(hostileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostileInputTest, DeepestResolvablePathHasSixtyFourComponents) {
    VolumeBuilder v;
    const auto dir = v.addDirectory(v.root(), test::name83("LOOP"));
    v.addSlot(dir, VolumeBuilder::shortEntry(test::name83("LOOP"), 0x10, v.firstCluster(dir), 0));
    test::TempDir tmp;
    test::writeFile(tmp / "loop.img", v.build());
    DiskImageService service;
    service.open(tmp / "loop.img");
    DiskPath path;
    for (int i = 0; i < 64; ++i) {
        path = path.appending("loop");
    }
    EXPECT_EQ(service.listDirectory(path).size(), 1u);
    try {
        service.listDirectory(path.appending("LOOP"));
        FAIL() << "65 components resolved";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::directoryDepthExceeded);
        EXPECT_EQ(e.depth(), 64);
    }
}

} // namespace
} // namespace tamberlane

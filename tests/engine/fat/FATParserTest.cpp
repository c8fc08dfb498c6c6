#include "engine/fat/FATParser.h"
#include "engine/image/DiskImageError.h"
#include "tests/support/FatTools.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

using ::testing::TestWithParam;

using test::errorText;

Bytes bootSector(std::uint16_t bps, std::uint8_t spc, std::uint8_t fats, std::uint16_t total,
                 std::size_t size = 512) {
    Bytes s(size, 0);
    s[0] = 0xEB;
    s[11] = static_cast<std::uint8_t>(bps & 0xFF);
    s[12] = static_cast<std::uint8_t>(bps >> 8);
    s[13] = spc;
    s[14] = 1;
    s[16] = fats;
    s[17] = 224;
    s[19] = static_cast<std::uint8_t>(total & 0xFF);
    s[20] = static_cast<std::uint8_t>(total >> 8);
    s[21] = 0xF0;
    s[22] = 9;
    return s;
}

struct BPBErrorCase {
    const char* name;
    Bytes sector;
    std::string expected;
};

class BPBRejectionTest : public TestWithParam<BPBErrorCase> {};

TEST_P(BPBRejectionTest, FirstFailingCheckIsReportedWithItsExactText) {
    EXPECT_EQ(errorText([&] { FATParser::parseBPB(GetParam().sector); }), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, BPBRejectionTest,
    ::testing::Values(
        BPBErrorCase{"tooShort", Bytes(23, 0),
                     "ヘッダの解析に失敗しました: "
                     "ブートセクタのサイズが不足しています（23バイト、最低24バイト必要）"},
        BPBErrorCase{"sectorSize", bootSector(500, 1, 2, 2880),
                     "BPBの値が不正です: bytesPerSectorが不正です: 500（有効値: 128, 256, 512, "
                     "1024, 2048, 4096）"},
        BPBErrorCase{"bothBadReportsSectorSize", bootSector(0, 3, 0, 0),
                     "BPBの値が不正です: bytesPerSectorが不正です: 0（有効値: 128, 256, 512, 1024, "
                     "2048, 4096）"},
        BPBErrorCase{"clusterSize", bootSector(512, 3, 2, 2880),
                     "BPBの値が不正です: sectorsPerClusterが不正です: 3（有効値: 1, 2, 4, 8, 16, "
                     "32, 64, 128）"},
        BPBErrorCase{"noFATs", bootSector(4096, 128, 0, 2880),
                     "BPBの値が不正です: numberOfFATsが0です"},
        BPBErrorCase{"noSectors", bootSector(128, 1, 3, 0),
                     "BPBの値が不正です: totalSectors16が0です"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseBPBTest, ThreeFATsAndAnyMediaByteAreAccepted) {
    Bytes s = bootSector(512, 1, 3, 2880);
    s[21] = 0x00;
    EXPECT_EQ(FATParser::parseBPB(s).numberOfFATs, 3);
}

struct ClusterCountCase {
    const char* name;
    BIOSParameterBlock bpb;
    std::int64_t clusters;
    FATType type;
};

class ClusterCountTest : public TestWithParam<ClusterCountCase> {};

TEST_P(ClusterCountTest, CountAndTypeFollowTheDataSectors) {
    const auto& c = GetParam();
    EXPECT_EQ(FATParser::calculateTotalClusters(c.bpb), c.clusters);
    EXPECT_EQ(FATParser::fatTypeForClusterCount(c.clusters), c.type);
}

BIOSParameterBlock bpbOf(std::uint16_t bps, std::uint8_t spc, std::uint16_t reserved,
                         std::uint8_t fats, std::uint16_t spf, std::uint16_t root,
                         std::uint16_t total) {
    BIOSParameterBlock b;
    b.bytesPerSector = bps;
    b.sectorsPerCluster = spc;
    b.reservedSectors = reserved;
    b.numberOfFATs = fats;
    b.sectorsPerFAT = spf;
    b.rootEntryCount = root;
    b.totalSectors16 = total;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, ClusterCountTest,
    ::testing::Values(
        ClusterCountCase{"last12", bpbOf(512, 1, 1, 2, 16, 512, 1 + 32 + 32 + 4084), 4084,
                         FATType::fat12},
        ClusterCountCase{"first16", bpbOf(512, 1, 1, 2, 16, 512, 1 + 32 + 32 + 4085), 4085,
                         FATType::fat16},
        ClusterCountCase{"partialClusterDropped", bpbOf(512, 4, 1, 2, 9, 224, 33 + 7), 1,
                         FATType::fat12},
        ClusterCountCase{"metadataExceedsTotal", bpbOf(512, 1, 100, 2, 9, 224, 50), 0,
                         FATType::fat12},
        ClusterCountCase{"maximalMetadata", bpbOf(128, 1, 65535, 255, 65535, 65535, 65535), 0,
                         FATType::fat12},
        ClusterCountCase{"largest", bpbOf(128, 1, 1, 1, 1, 0, 65535), 65533, FATType::fat16}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeFATTest, TwelveBitEntriesUnpackLowNibbleFirst) {
    const Bytes fat = {0xF0, 0xFF, 0xFF, 0x03, 0x04};
    EXPECT_EQ(FATParser::decodeFAT12(fat, 3), (std::vector<std::uint16_t>{0xFF0, 0xFFF, 0x403}));
    const Bytes four = {0xF0, 0xFF, 0xFF, 0x03};
    EXPECT_EQ(errorText([&] { FATParser::decodeFAT12(four, 3); }),
              "FATテーブルが破損しています: "
              "FAT12テーブルのデータが不足しています（4バイト、5バイト必要）");
}

TEST(DecodeFATTest, SixteenBitEntriesAreLittleEndianAndShortDataFails) {
    const Bytes fat = {0xF8, 0xFF, 0xFF, 0xFF, 0x03, 0x00, 0xF7, 0xFF};
    EXPECT_EQ(FATParser::decodeFAT16(fat, 4),
              (std::vector<std::uint16_t>{0xFFF8, 0xFFFF, 3, 0xFFF7}));
    EXPECT_EQ(errorText([&] { FATParser::decodeFAT16(fat, 5); }),
              "FATテーブルが破損しています: "
              "FAT16テーブルのデータが不足しています（8バイト、10バイト必要）");
}

TEST(DecodeFATTest, SerialisersReproduceTheDecodedBytesForOddAndEvenCounts) {
    const Bytes fat12 = {0xF0, 0xFF, 0xFF, 0x03, 0x40, 0x00, 0xFF, 0x6F, 0x00, 0x07, 0x0F};
    for (const std::int64_t count : {6, 7}) {
        SCOPED_TRACE(count);
        const Bytes used(fat12.begin(), fat12.begin() + (count * 3 + 1) / 2);
        const FATTable table(FATParser::decodeFAT12(used, count), FATType::fat12);
        EXPECT_EQ(table.serializeFAT12(), used);
    }
    const Bytes fat16 = {0xF8, 0xFF, 0xFF, 0xFF, 0x03, 0x00, 0xFF, 0xFF, 0xEF, 0xFF};
    const FATTable table16(FATParser::decodeFAT16(fat16, 5), FATType::fat16);
    EXPECT_EQ(table16.serializeFAT16(), fat16);
    EXPECT_TRUE(FATTable({}, FATType::fat16).serializeFAT16().empty());
}

struct ChainCase {
    const char* name;
    FATType type;
    std::vector<std::uint16_t> entries;
    std::uint16_t start;
    std::vector<std::uint16_t> chain; // when no error
    std::string error;                // when an error is expected
};

class ClusterChainTest : public TestWithParam<ChainCase> {};

TEST_P(ClusterChainTest, ChainEndsOrFailsAsTheLinksSay) {
    const auto& c = GetParam();
    const FATTable table(c.entries, c.type);
    if (c.error.empty()) {
        EXPECT_EQ(FATParser::getClusterChain(c.start, table), c.chain);
    } else {
        EXPECT_EQ(errorText([&] { FATParser::getClusterChain(c.start, table); }), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, ClusterChainTest,
    ::testing::Values(
        ChainCase{"endMark", FATType::fat12, {0xFF0, 0xFFF, 3, 0xFFF}, 2, {2, 3}, ""},
        ChainCase{"loop",
                  FATType::fat12,
                  {0xFF0, 0xFFF, 3, 2},
                  2,
                  {},
                  "クラスタチェーンに循環参照があります（クラスタ: 2）"},
        ChainCase{"selfLoop",
                  FATType::fat16,
                  {0xFFF8, 0xFFFF, 0, 3},
                  3,
                  {},
                  "クラスタチェーンに循環参照があります（クラスタ: 3）"},
        ChainCase{"badClusterLeftOut", FATType::fat12, {0xFF0, 0xFFF, 0xFF7}, 2, {}, ""},
        ChainCase{"badAfterFirst", FATType::fat16, {0xFFF8, 0xFFFF, 3, 0xFFF7}, 2, {2}, ""},
        ChainCase{"freeEnds", FATType::fat12, {0xFF0, 0xFFF, 0}, 2, {2}, ""},
        ChainCase{"oneEnds", FATType::fat12, {0xFF0, 0xFFF, 1}, 2, {2}, ""},
        ChainCase{"reservedValueEnds12", FATType::fat12, {0xFF0, 0xFFF, 0xFF0}, 2, {2}, ""},
        ChainCase{"reservedValueEnds16", FATType::fat16, {0xFFF8, 0xFFFF, 0xFFF6}, 2, {2}, ""},
        ChainCase{
            "start0", FATType::fat12, {0xFF0, 0xFFF, 0xFFF}, 0, {}, "不正なクラスタ番号です: 0"},
        ChainCase{
            "start1", FATType::fat12, {0xFF0, 0xFFF, 0xFFF}, 1, {}, "不正なクラスタ番号です: 1"},
        ChainCase{
            "startN", FATType::fat12, {0xFF0, 0xFFF, 0xFFF}, 3, {}, "不正なクラスタ番号です: 3"},
        ChainCase{"linkPastTable",
                  FATType::fat12,
                  {0xFF0, 0xFFF, 3, 0xFEF},
                  2,
                  {},
                  "不正なクラスタ番号です: 4079"},
        ChainCase{"linkPastTable16",
                  FATType::fat16,
                  {0xFFF8, 0xFFFF, 0xFFEF},
                  2,
                  {},
                  "不正なクラスタ番号です: 65519"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClusterChainTest, LongestChainOfAFullFAT16TableIsFollowedToItsEnd) {
    std::vector<std::uint16_t> entries(65536 - 16, 0);
    for (std::size_t c = 2; c + 1 < entries.size(); ++c) {
        entries[c] = static_cast<std::uint16_t>(c + 1);
    }
    entries.back() = 0xFFFF;
    const auto chain = FATParser::getClusterChain(2, FATTable(entries, FATType::fat16));
    ASSERT_EQ(chain.size(), entries.size() - 2);
    EXPECT_EQ(chain.back(), entries.size() - 1);
}

} // namespace
} // namespace tamberlane

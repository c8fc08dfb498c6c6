#include "engine/fat/FATParser.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

using test::errorText;

// The boot sector of a 1.44 MB floppy with fields changed by `edit`.
Bytes bootSector(const std::function<void(test::VolumeParameters&)>& edit) {
    test::VolumeParameters p;
    edit(p);
    p.volumeBytes = 512;
    return test::VolumeBuilder(p).build();
}

// A boot sector cut short and a sector size that is no power of two (checked first) are in
// the hostile-input table of the image tests; these are the checks behind it.
TEST(ParseBPBTest, FieldsThatCannotDescribeAVolumeAreRefusedByName) {
    const std::string bad = "BPBの値が不正です: ";
    const auto refusal = [](const Bytes& sector) {
        return errorText([&] { parseBPB(sector); });
    };
    EXPECT_EQ(refusal(bootSector([](auto& p) { p.sectorsPerCluster = 3; })),
              bad + "sectorsPerClusterが不正です: 3（有効値: 1, 2, 4, 8, 16, 32, 64, 128）");
    EXPECT_EQ(refusal(bootSector([](auto& p) { p.numberOfFATs = 0; })),
              bad + "numberOfFATsが0です");
    EXPECT_EQ(refusal(bootSector([](auto& p) { p.totalSectors16 = 0; })),
              bad + "totalSectors16が0です");
    const Bytes threeFATs = bootSector([](auto& p) {
        p.numberOfFATs = 3;
        p.mediaDescriptor = 0x00; // any media byte
    });
    EXPECT_EQ(parseBPB(threeFATs).numberOfFATs, 3);
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

// Catches the FAT12/FAT16 boundary off by one, a partial cluster counted, and metadata
// larger than the volume wrapping round to a huge count.
TEST(ClusterCountTest, CountAndTypeFollowTheDataSectors) {
    struct Case {
        BIOSParameterBlock bpb;
        std::int64_t clusters;
        FATType type;
    };
    for (const Case& c :
         std::vector<Case>{{bpbOf(512, 1, 1, 2, 16, 512, 1 + 32 + 32 + 4084), 4084, FATType::fat12},
                           {bpbOf(512, 1, 1, 2, 16, 512, 1 + 32 + 32 + 4085), 4085, FATType::fat16},
                           {bpbOf(512, 4, 1, 2, 9, 224, 33 + 7), 1, FATType::fat12},
                           {bpbOf(512, 1, 100, 2, 9, 224, 50), 0, FATType::fat12},
                           {bpbOf(128, 1, 65535, 255, 65535, 65535, 65535), 0, FATType::fat12},
                           {bpbOf(128, 1, 1, 1, 1, 0, 65535), 65533, FATType::fat16}}) {
        EXPECT_EQ(calculateTotalClusters(c.bpb), c.clusters) << c.bpb.totalSectors16;
        EXPECT_EQ(FATParser::fatTypeForClusterCount(c.clusters), c.type) << c.clusters;
    }
}

TEST(DecodeFATTest, EntriesUnpackInOrderAndShortDataFails) {
    const Bytes fat12 = {0xF0, 0xFF, 0xFF, 0x03, 0x04}; // low nibble first
    EXPECT_EQ(FATParser::decodeFAT12(fat12, 3), (std::vector<std::uint16_t>{0xFF0, 0xFFF, 0x403}));
    EXPECT_EQ(errorText([&] { FATParser::decodeFAT12(Bytes(fat12.begin(), fat12.end() - 1), 3); }),
              "FATテーブルが破損しています: "
              "FAT12テーブルのデータが不足しています（4バイト、5バイト必要）");
    const Bytes fat16 = {0xF8, 0xFF, 0xFF, 0xFF, 0x03, 0x00, 0xF7, 0xFF};
    EXPECT_EQ(FATParser::decodeFAT16(fat16, 4),
              (std::vector<std::uint16_t>{0xFFF8, 0xFFFF, 3, 0xFFF7}));
    EXPECT_EQ(errorText([&] { FATParser::decodeFAT16(fat16, 5); }),
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

// The chain from `start` as "2 3", or the error it ends in.
std::string chainOf(FATType type, std::vector<std::uint16_t> entries, std::uint16_t start) {
    std::string text;
    const std::string error = errorText([&] {
        for (const std::uint16_t c : FATParser::getClusterChain(start, FATTable(entries, type))) {
            text += (text.empty() ? "" : " ") + std::to_string(c);
        }
    });
    return error == "no error" ? text : error;
}

// Catches a chain that loops forever, follows a link past the table or into a reserved
// number, or takes a free, bad or reserved value for a next cluster.
TEST(ClusterChainTest, ChainEndsOrFailsAsTheLinksSay) {
    const auto fat12 = FATType::fat12;
    const auto fat16 = FATType::fat16;
    const std::string loop = "クラスタチェーンに循環参照があります（クラスタ: ";
    const std::string invalid = "不正なクラスタ番号です: ";
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 3, 0xFFF}, 2), "2 3");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 3, 2}, 2), loop + "2）");
    EXPECT_EQ(chainOf(fat16, {0xFFF8, 0xFFFF, 0, 3}, 3), loop + "3）");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 0xFF7}, 2), ""); // a bad first cluster is left out
    EXPECT_EQ(chainOf(fat16, {0xFFF8, 0xFFFF, 3, 0xFFF7}, 2), "2"); // and so is a later one
    // Free, 1 and the reserved values end a chain rather than lead anywhere.
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 0}, 2), "2");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 1}, 2), "2");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 0xFF0}, 2), "2");
    EXPECT_EQ(chainOf(fat16, {0xFFF8, 0xFFFF, 0xFFF6}, 2), "2");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 0xFFF}, 0), invalid + "0");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 0xFFF}, 1), invalid + "1");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 0xFFF}, 3), invalid + "3");
    EXPECT_EQ(chainOf(fat12, {0xFF0, 0xFFF, 3, 0xFEF}, 2), invalid + "4079");
    EXPECT_EQ(chainOf(fat16, {0xFFF8, 0xFFFF, 0xFFEF}, 2), invalid + "65519");
}

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

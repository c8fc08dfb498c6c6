#include "engine/fat/FATTable.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/FATParser.h"
#include "tests/support/FatTools.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

// A table of `clusters` data clusters, every one in use except those listed.
FATTable tableWithFree(FATType type, std::size_t clusters,
                       const std::vector<std::uint16_t>& freeClusters) {
    const std::uint16_t used = type == FATType::fat12 ? 0xFFF : 0xFFFF;
    std::vector<std::uint16_t> entries(clusters + 2, used);
    for (const std::uint16_t c : freeClusters) {
        entries[c] = 0;
    }
    return FATTable(entries, type);
}

TEST(FATAllocateTest, TakesTheLowestFreeClustersEvenWhenNotContiguous) {
    FATTable table = tableWithFree(FATType::fat12, 20, {5, 9, 10, 11});
    EXPECT_EQ(table.allocate(3), (std::vector<std::uint16_t>{5, 9, 10}));
    EXPECT_EQ(table.entries()[5], 9);
    EXPECT_EQ(table.entries()[9], 10);
    EXPECT_EQ(table.entries()[10], 0xFFF);
    EXPECT_EQ(table.entries()[11], 0);
    EXPECT_EQ(FATParser::getClusterChain(5, table), (std::vector<std::uint16_t>{5, 9, 10}));
}

TEST(FATAllocateTest, ZeroOrTooManyLeavesTheTableUnchanged) {
    FATTable table = tableWithFree(FATType::fat16, 20, {4, 7});
    const FATTable before = table;
    EXPECT_TRUE(table.allocate(0).empty());
    EXPECT_TRUE(table.allocate(-5).empty());
    try {
        table.allocate(3);
        FAIL() << "allocation succeeded";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::diskFull);
        EXPECT_EQ(e.required(), 3);
        EXPECT_EQ(e.available(), 2);
    }
    EXPECT_EQ(table, before);
    EXPECT_EQ(table.allocate(2), (std::vector<std::uint16_t>{4, 7}));
    EXPECT_EQ(table.entries()[7], 0xFFFF);
}

// Clusters numbered like the reserved values (0xFF0-0xFF6 / 0xFFF0-0xFFF6) or like the
// end marks would read back as the end of a chain when linked to.
TEST(FATAllocateTest, NeverHandsOutAClusterWhoseNumberReadsAsAMark) {
    for (const auto& [type, clusters, highest] :
         std::vector<std::tuple<FATType, std::size_t, int>>{{FATType::fat12, 4078, 0xFEF},
                                                            {FATType::fat12, 4079, 0xFEF},
                                                            {FATType::fat12, 4084, 0xFEF},
                                                            {FATType::fat16, 65524, 0xFFEF},
                                                            {FATType::fat16, 65534, 0xFFEF}}) {
        SCOPED_TRACE(clusters);
        FATTable table = FATTable(std::vector<std::uint16_t>(clusters + 2, 0), type);
        EXPECT_EQ(table.freeClusterCount(), highest - 1);
        const auto chain = table.allocate(highest - 1);
        EXPECT_EQ(chain.back(), highest);
        EXPECT_EQ(FATParser::getClusterChain(2, table).size(), chain.size());
        EXPECT_THROW(table.allocate(1), DiskImageError);
        EXPECT_EQ(table.freeClusterCount(), 0);
    }
}

TEST(FATAllocateTest, ClustersBeyondTheAllocationLimitAreNeitherFreeNorHandedOut) {
    FATTable table = FATTable(std::vector<std::uint16_t>(12, 0), FATType::fat12);
    table.setAllocationLimit(6);
    EXPECT_EQ(table.freeClusterCount(), 4);
    EXPECT_THROW(table.allocate(5), DiskImageError);
    EXPECT_EQ(table.allocate(4), (std::vector<std::uint16_t>{2, 3, 4, 5}));
}

// A broken chain is freed up to the break and then reported, never followed further.
TEST(FATFreeTest, ClearsTheChainAndReportsWhereItBreaks) {
    using Entries = std::vector<std::uint16_t>;
    const auto freeing = [](Entries entries, FATType type, std::uint16_t start) {
        FATTable table(std::move(entries), type);
        const std::string error = test::errorText([&] { table.free(start); });
        return std::pair{table.entries(), error};
    };
    const std::string loop2 = "クラスタチェーンに循環参照があります（クラスタ: 2）";
    EXPECT_EQ(freeing({0xFF0, 0xFFF, 4, 0, 6, 0, 0xFF8}, FATType::fat12, 2),
              std::pair(Entries{0xFF0, 0xFFF, 0, 0, 0, 0, 0}, std::string("no error")));
    EXPECT_EQ(
        freeing({0xFFF8, 0xFFFF, 3, 1, 0xFFFF}, FATType::fat16, 2),
        std::pair(Entries{0xFFF8, 0xFFFF, 0, 0, 0xFFFF}, std::string("不正なクラスタ番号です: 1")));
    EXPECT_EQ(freeing({0xFF0, 0xFFF, 3, 4, 2}, FATType::fat12, 2).second, loop2);
    EXPECT_EQ(freeing({0xFF0, 0xFFF, 2}, FATType::fat12, 2).second, loop2);
    EXPECT_EQ(freeing({0xFF0, 0xFFF, 0xFF0}, FATType::fat12, 2).second,
              "不正なクラスタ番号です: 4080");
    EXPECT_EQ(freeing({0xFF0, 0xFFF, 0xFFF}, FATType::fat12, 1).second,
              "不正なクラスタ番号です: 1");
    EXPECT_EQ(freeing({0xFF0, 0xFFF, 0xFFF}, FATType::fat12, 3).second,
              "不正なクラスタ番号です: 3");
}

} // namespace
} // namespace tamberlane

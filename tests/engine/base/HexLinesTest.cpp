#include "engine/base/HexLines.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

TEST(HexLinesTest, ShortLastLineKeepsTheHexColumnWidthAndNumbersLinesFromTheStart) {
    Bytes data(20, 0x41);
    data[16] = 0x00;
    data[17] = 0x7F;
    data[18] = 0x80;
    const std::vector<HexLine> lines = formatHexLines(data, 0x100000);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].id, 0x10001);
    EXPECT_EQ(lines[1].address, "00100010");
    EXPECT_EQ(lines[1].hexDump, "00 7F 80 41" + std::string(36, ' '));
    EXPECT_EQ(lines[1].hexDump.size(), lines[0].hexDump.size());
    EXPECT_EQ(lines[1].ascii, "...A");
    EXPECT_TRUE(formatHexLines({}, 0).empty());
}

} // namespace
} // namespace tamberlane

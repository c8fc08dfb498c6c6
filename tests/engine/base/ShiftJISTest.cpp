#include "engine/base/ShiftJIS.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

// Catches a range that misses an end of either lead-byte run, or that swallows the
// half-width katakana between them or the bytes past 0xFC, any of which splits or joins
// the characters of a name at the wrong place.
TEST(ShiftJISLeadByte, BothRunsAreLeadBytesAndNothingAroundThem) {
    const struct {
        std::uint8_t byte;
        bool lead;
    } cases[] = {
        {0x7F, false}, {0x80, false}, {0x81, true},  {0x9F, true}, {0xA0, false},
        {0xA1, false}, {0xDF, false}, {0xE0, true},  {0xEF, true}, {0xF0, true},
        {0xFC, true},  {0xFD, false}, {0xFF, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isShiftJISLeadByte(c.byte), c.lead) << std::hex << int{c.byte};
    }
}

} // namespace
} // namespace tamberlane

#include "engine/base/SectorSizes.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

// Catches a size let through that is no power of two or outside 128-4096 (a boot sector
// found by searching would then be taken from random bytes), or a real size refused.
TEST(SectorSizes, OnlyPowersOfTwoFrom128To4096AreValid) {
    const struct {
        std::int64_t bytes;
        bool valid;
    } cases[] = {
        {0, false},    {64, false},  {127, false},  {128, true},   {256, true},
        {384, false},  {512, true},  {1000, false}, {1024, true},  {2048, true},
        {3072, false}, {4096, true}, {8192, false}, {-512, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isValidSectorSize(c.bytes), c.valid) << c.bytes;
    }
}

} // namespace
} // namespace tamberlane

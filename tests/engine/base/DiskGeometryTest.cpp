#include "engine/base/DiskGeometry.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

// Catches a floppy limit that lets a disk through that the floppy containers' track
// tables (164 tracks) cannot hold, or that takes a 2.88 MB or extended 1.44 MB disk for a
// hard disk.
TEST(FloppyGeometry, TwoHeadsAndUpTo82CylindersAreAFloppy) {
    EXPECT_TRUE(isFloppyGeometry({2, 80, 36, 512}));
    EXPECT_TRUE(isFloppyGeometry({2, 82, 21, 512}));
    EXPECT_TRUE(isFloppyGeometry({1, 40, 8, 512}));
    EXPECT_FALSE(isFloppyGeometry({2, 83, 18, 512}));
    EXPECT_FALSE(isFloppyGeometry({2, 85, 18, 512}));
    EXPECT_FALSE(isFloppyGeometry({3, 40, 8, 512}));
}

} // namespace
} // namespace tamberlane

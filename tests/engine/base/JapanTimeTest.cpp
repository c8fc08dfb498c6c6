#include "engine/base/JapanTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace tamberlane {
namespace {

struct Moment {
    const char* name;
    std::int64_t utcSeconds;
    JapanTime japan;
};

// Catches an offset of the wrong size or sign, a day boundary taken in UTC (or in the
// host's zone), and a calendar that goes wrong at the ends of what a FAT date can hold.
class JapanTimeAt : public ::testing::TestWithParam<Moment> {};

TEST_P(JapanTimeAt, ReadsAndWritesTheSameClockWhateverTheHostZone) {
    const Moment& m = GetParam();
    const std::chrono::sys_seconds utc{std::chrono::seconds(m.utcSeconds)};
    EXPECT_EQ(toJapanTime(utc), m.japan);
    EXPECT_EQ(fromJapanTime(m.japan), utc);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, JapanTimeAt,
    ::testing::Values(
        // The first moment a FAT date holds, still 1979 in UTC.
        Moment{"fatEpoch", 315500400, {1980, 1, 1, 0, 0, 0}},
        Moment{"lastSecondOfALeapDay", 1709218799, {2024, 2, 29, 23, 59, 59}},
        Moment{"nextDayAt15UTC", 1709218800, {2024, 3, 1, 0, 0, 0}},
        // The last moment a FAT date and time hold (seconds are stored halved).
        Moment{"lastFatMoment", 4354786798, {2107, 12, 31, 23, 59, 58}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JapanTime, TheHostZoneChangesNothing) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "America/New_York", 1);
    tzset();
    const JapanTime shown = toJapanTime(std::chrono::sys_seconds{std::chrono::seconds(315500400)});
    if (saved) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_EQ(shown, (JapanTime{1980, 1, 1, 0, 0, 0}));
}

// Catches a damaged date read as some other day instead of as none, and a damaged clock
// turning a valid date into none.
TEST(JapanTime, ADayTheCalendarLacksHasNoMomentButAnOverlongClockRollsOver) {
    EXPECT_EQ(fromJapanTime({2023, 2, 29, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(fromJapanTime({1980, 0, 1, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(fromJapanTime({1980, 1, 0, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(fromJapanTime({1980, 13, 1, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(fromJapanTime({2024, 2, 29, 24, 0, 0}), fromJapanTime({2024, 3, 1, 0, 0, 0}));
}

} // namespace
} // namespace tamberlane

#pragma once

#include <chrono>
#include <optional>

namespace tamberlane {

// A moment as a clock in Japan shows it. Disks of these machines record local time
// without a zone, and Japan has kept UTC+9 without daylight saving since 1951, which
// covers every date a FAT volume can hold; so the host's own zone never enters.
struct JapanTime {
    int year = 1970;
    unsigned month = 1;
    unsigned day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool operator==(const JapanTime&) const = default;
};

JapanTime toJapanTime(std::chrono::sys_seconds moment);
// Nothing when the calendar has no such day (a month or day of 0, 30 February). The
// clock is counted from the day's midnight as it stands, so a damaged entry's hour 24
// reads as the next day rather than as no date at all.
std::optional<std::chrono::sys_seconds> fromJapanTime(const JapanTime& time);

} // namespace tamberlane

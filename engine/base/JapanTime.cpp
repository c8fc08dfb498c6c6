#include "engine/base/JapanTime.h"

namespace tamberlane {

namespace {

constexpr std::chrono::hours offsetFromUTC{9};

} // namespace

JapanTime toJapanTime(std::chrono::sys_seconds moment) {
    const auto local = moment + offsetFromUTC;
    const auto days = std::chrono::floor<std::chrono::days>(local);
    const std::chrono::year_month_day date(days);
    const std::chrono::hh_mm_ss clock(local - days);
    return {static_cast<int>(date.year()),
            static_cast<unsigned>(date.month()),
            static_cast<unsigned>(date.day()),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count())};
}

std::optional<std::chrono::sys_seconds> fromJapanTime(const JapanTime& time) {
    const std::chrono::year_month_day date{
        std::chrono::year(time.year), std::chrono::month(time.month), std::chrono::day(time.day)};
    if (!date.ok()) {
        return std::nullopt;
    }
    const std::chrono::seconds clock = std::chrono::hours(time.hour) +
                                       std::chrono::minutes(time.minute) +
                                       std::chrono::seconds(time.second);
    return std::chrono::sys_days(date) + clock - offsetFromUTC;
}

} // namespace tamberlane

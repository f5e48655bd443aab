#include "platform/clock.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <locale.h>

namespace sked {

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::tm GmTime(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

namespace {

// How far local time is ahead of UTC at `t`; nothing when the library cannot
// convert `t`.
std::optional<std::time_t> UtcOffset(std::time_t t) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return std::nullopt;
    return tm.tm_gmtoff;
}

// The local wall time at `t`, counted in seconds as if it were UTC.
std::optional<std::time_t> WallTimeAt(std::time_t t) {
    auto offset = UtcOffset(t);
    if (!offset) return std::nullopt;
    return t + *offset;
}

}  // namespace

std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
    // mktime alone moves a time in the spring gap on by the size of the gap,
    // and reads a time of the hour the clocks go back with whichever offset
    // its previous call happened to see. Here the instant is found from the
    // offsets in force a day before and a day after, in any zone (none
    // changes its clocks twice within two days).
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::tm asked = tm;
    asked.tm_wday = -1;  // left so when the time does not fit a time value
    const std::time_t wall = timegm(&asked);
    if (asked.tm_wday == -1) return -1;
    ::tzset();  // TZ as it is now, as mktime would read it
    constexpr std::time_t kDay = 24 * 60 * 60;
    const auto early = UtcOffset(wall - kDay), late = UtcOffset(wall + kDay);
    if (!early || !late) return -1;
    // The instants the wall time names under the two offsets. Where both read
    // back (the hour the clocks go back), the earlier one is its first pass:
    // an entry sent then is already past during the second.
    std::time_t below = wall - std::max(*early, *late), notBelow = wall - std::min(*early, *late);
    for (std::time_t t : {below, notBelow})
        if (WallTimeAt(t) == wall) return t;
    // Neither reads back: the clocks jumped over this wall time somewhere
    // between the two. The first real time after it is the instant of the
    // jump: the first whose wall time is not below the one asked for.
    const auto lowest = WallTimeAt(below), highest = WallTimeAt(notBelow);
    if (!lowest || *lowest >= wall || !highest || *highest < wall)
        return std::mktime(&tm);  // more than one change of the clocks around it: as the library reads it
    while (notBelow - below > 1) {
        std::time_t middle = below + (notBelow - below) / 2;
        const auto at = WallTimeAt(middle);
        if (!at) return -1;
        (*at < wall ? below : notBelow) = middle;
    }
    return notBelow;
}

bool IsCalendarTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < kFirstCalendarYear || year > kLastCalendarYear || month < 1 || month > 12) return false;
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day >= 1 && day <= days && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 &&
           second <= 59;
}

std::string FormatTime(const char* format, const std::tm& tm, std::size_t capacity) {
    std::string buffer(capacity, '\0');
    std::size_t n = std::strftime(buffer.data(), capacity, format, &tm);
    buffer.resize(n);
    return buffer;
}

std::string CtimeText(std::time_t t) {
    // ctime is English whatever the operator's locale: asctime's fixed layout,
    // "Wed Jun 30 21:49:08 1993".
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    char buffer[32];
    std::tm tm = LocalTime(t);
    strftime_l(buffer, sizeof buffer, "%a %b %e %H:%M:%S %Y", &tm, cLocale);
    return buffer;
}

std::string LocalStamp(TimePoint t, bool withMillis) {
    using namespace std::chrono;
    auto since = t.time_since_epoch();
    auto secs = duration_cast<seconds>(since);
    if (since < secs) secs -= seconds(1);  // floor for times before the epoch
    auto millis = duration_cast<milliseconds>(since - secs).count();
    std::tm tm = LocalTime(static_cast<std::time_t>(secs.count()));
    std::string text = FormatTime("%Y-%m-%d %H:%M:%S", tm);
    if (withMillis) {
        char ms[8];
        std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>(millis));
        text += ms;
    }
    return text;
}

}  // namespace sked

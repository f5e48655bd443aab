#include "platform/clock.h"

#include <cstdio>
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

std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
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

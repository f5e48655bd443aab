// Every reading of the time goes through a Clock, so that the simulated clock
// drives log names, macros, schedules and the dispatcher alike.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace sked {

using TimePoint = std::chrono::system_clock::time_point;
using Duration = std::chrono::system_clock::duration;

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time now (real or simulated).
    virtual TimePoint Now() const = 0;

    // Whole seconds since the epoch, like time().
    std::time_t Time() const { return std::chrono::system_clock::to_time_t(Now()); }
};

// Calendar helpers: pure functions of a time value, so they behave the same
// on the real and the simulated clock.
std::tm LocalTime(std::time_t t);
std::tm GmTime(std::time_t t);
// The instant of a local wall time (normalised as mktime normalises it); -1
// when it fits no time value. A wall time the clocks skip (the spring gap)
// gives the instant they jump, the first real time after it (02:30 on the
// spring night in Berlin: 03:00 summer time); one they pass twice (the autumn
// night) gives its first pass, in summer time.
std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second);

// The calendar years a date may carry: four digits, and every one of them a
// time that 64-bit time values, localtime and mktime hold alike.
constexpr int kFirstCalendarYear = 1970;
constexpr int kLastCalendarYear = 2099;
// True when the six numbers name a real date and time of day in those years:
// month 1..12, day 1..days of that month (leap years counted), hour 0..23,
// minute and second 0..59. mktime would quietly carry any of them over into
// another date, so this is asked first.
bool IsCalendarTime(int year, int month, int day, int hour, int minute, int second);

// strftime into a buffer of `capacity` bytes (the result holds at most capacity-1 characters).
std::string FormatTime(const char* format, const std::tm& tm, std::size_t capacity = 80);
// The fixed 24-character ctime form without its line end.
std::string CtimeText(std::time_t t);
// "YYYY-MM-DD HH:MM:SS.mmm" in local time, used by the line trace and the console.
std::string LocalStamp(TimePoint t, bool withMillis = true);

}  // namespace sked

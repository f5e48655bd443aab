#include "scheduler/repeat_rule.h"

#include <array>
#include <cctype>

#include "platform/clock.h"
#include "platform/text_format.h"

namespace sked {

namespace {

constexpr int kSecondsPerDay = 24 * 3600;
constexpr std::array<const char*, 7> kDayNames = {"sunday",   "monday", "tuesday", "wednesday",
                                                  "thursday", "friday", "saturday"};

// A day by its three-letter abbreviation or its full name; -1 for neither.
int DayOf(std::string_view word) {
    const std::string lower = Lowered(word);
    for (int day = 0; day < 7; ++day) {
        const std::string_view name = kDayNames[static_cast<std::size_t>(day)];
        if (lower == name || lower == name.substr(0, 3)) return day;
    }
    return -1;
}

bool ReadDigits(std::string_view text, int& value) {
    if (text.empty() || text.size() > 4) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "Mon..Fri", "Sat,Sun", "Fri..Mon" (round the weekend), "Tue".
std::optional<unsigned> ReadWeekdays(std::string_view word, std::string& problem) {
    unsigned days = 0;
    while (!word.empty()) {
        const std::size_t comma = word.find(',');
        const std::string_view item = word.substr(0, comma);
        word = comma == std::string_view::npos ? std::string_view() : word.substr(comma + 1);
        const std::size_t dots = item.find("..");
        const int first = DayOf(item.substr(0, dots));
        const int last = dots == std::string_view::npos ? first : DayOf(item.substr(dots + 2));
        if (first < 0 || last < 0) {
            problem = "\"" + std::string(item) + "\" is not a day of the week or a range of them (Mon..Fri)";
            return std::nullopt;
        }
        for (int day = first;; day = (day + 1) % 7) {
            days |= 1u << day;
            if (day == last) break;
        }
        if (comma != std::string_view::npos && word.empty()) {
            problem = "a day is missing after the last comma";
            return std::nullopt;
        }
    }
    return days;
}

}  // namespace

bool StartsRepeatRule(std::string_view firstWord) {
    const std::string lower = Lowered(firstWord);
    return lower == "daily" || lower == "every" || (lower.size() >= 3 && DayOf(lower.substr(0, 3)) >= 0);
}

bool RuleTakesInterval(std::string_view firstWord) { return Lowered(firstWord) == "every"; }

std::optional<RepeatRule> ReadRepeatRule(std::string_view word, std::string_view interval, std::string& problem) {
    RepeatRule rule;
    const std::string lower = Lowered(word);
    if (lower == "daily") return rule;
    if (lower == "every") {
        int count = 0;
        const char unit = interval.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(interval.back())));
        if ((unit != 'm' && unit != 'h') || !ReadDigits(interval.substr(0, interval.size() - 1), count)) {
            problem = "every wants an interval such as 15m or 2h, not \"" + std::string(interval) + "\"";
            return std::nullopt;
        }
        rule.kind = RepeatRule::Kind::Every;
        rule.intervalSeconds = count * (unit == 'm' ? 60 : 3600);
        if (rule.intervalSeconds < 60 || rule.intervalSeconds > kSecondsPerDay) {
            problem = "the interval " + std::string(interval) + " is not between 1m and 24h";
            return std::nullopt;
        }
        return rule;
    }
    const auto days = ReadWeekdays(word, problem);
    if (!days) return std::nullopt;
    rule.kind = RepeatRule::Kind::Weekdays;
    rule.weekdays = *days;
    return rule;
}

std::optional<int> ReadTimeOfDay(std::string_view text) {
    int part[3];
    for (int i = 0; i < 3; ++i) {
        const std::size_t colon = i < 2 ? text.find(':') : text.size();
        if (colon == std::string_view::npos || colon == 0 || colon > 2 || !ReadDigits(text.substr(0, colon), part[i]))
            return std::nullopt;
        text = i < 2 ? text.substr(colon + 1) : std::string_view();
    }
    if (part[0] > 23 || part[1] > 59 || part[2] > 59) return std::nullopt;
    return part[0] * 3600 + part[1] * 60 + part[2];
}

std::time_t NextOccurrence(const RepeatRule& rule, int secondOfDay, std::time_t after) {
    const std::tm from = LocalTime(after);
    const int phase = rule.kind == RepeatRule::Kind::Every ? secondOfDay % rule.intervalSeconds : secondOfDay;
    const int step = rule.kind == RepeatRule::Kind::Every ? rule.intervalSeconds : kSecondsPerDay;
    // From the day before (an occurrence late in a day the clocks made
    // longer) to a week ahead: every rule has a day in any eight.
    for (int dayOffset = -1; dayOffset <= 8; ++dayOffset) {
        // mktime normalises the day past the month's end.
        std::tm day = from;
        day.tm_mday += dayOffset;
        day.tm_hour = 12;
        day.tm_min = day.tm_sec = 0;
        day.tm_isdst = -1;
        const std::time_t noon = std::mktime(&day);
        if (noon == -1 || !(rule.weekdays & (1u << day.tm_wday))) continue;
        // Skip the day's occurrences that lie wholly before `after`'s time of day.
        int first = phase;
        if (dayOffset == 0 && rule.kind == RepeatRule::Kind::Every) {
            const int now = from.tm_hour * 3600 + from.tm_min * 60 + from.tm_sec;
            const int behind = (now - phase) / step - 2;  // two steps of slack for a clock change
            if (behind > 0) first = phase + behind * step;
        }
        for (int second = first; second < kSecondsPerDay; second += step) {
            const std::time_t t = MakeLocalTime(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday, second / 3600,
                                                second / 60 % 60, second % 60);
            if (t > after) return t;
        }
    }
    return -1;  // beyond what time values hold
}

}  // namespace sked

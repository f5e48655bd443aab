// The timetable: a schedule entry that repeats carries a rule in place of its
// date. "daily", a set of weekdays ("Mon..Fri", "Sat,Sun"; English names in
// any case), or "every 15m" / "every 2h", the interval counted from midnight
// local time, the entry's time of day giving its phase ("every 30m 00:10:00":
// at :10 and :40 of every hour).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace sked {

struct RepeatRule {
    enum class Kind { Daily, Weekdays, Every };
    Kind kind = Kind::Daily;
    unsigned weekdays = 0x7F;  // bit 0 Sunday .. bit 6 Saturday
    int intervalSeconds = 0;   // Every: 60 s .. 24 h
};

// Whether a line's first word is meant as a rule ("daily", "every", a day's
// name): such a line reads as a repeating entry or is refused as one; any
// other line reads as it always has.
bool StartsRepeatRule(std::string_view firstWord);
// True when the rule needs the word after it, its interval ("every" "15m").
bool RuleTakesInterval(std::string_view firstWord);

// The rule of `word` (and `interval` after "every"); nothing, with the reason
// in `problem`, when it does not read.
std::optional<RepeatRule> ReadRepeatRule(std::string_view word, std::string_view interval, std::string& problem);
// "HH:MM:SS", a time of day, as seconds after midnight; nothing when it is not one.
std::optional<int> ReadTimeOfDay(std::string_view text);

// The first occurrence of the rule at `secondOfDay` strictly after `after`,
// in local wall time: a time the clocks skip goes out when they jump, one
// they pass twice goes out at its first pass only (the second maps to the
// same instant, which is not after it).
std::time_t NextOccurrence(const RepeatRule& rule, int secondOfDay, std::time_t after);

}  // namespace sked

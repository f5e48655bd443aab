// The schedule file and the one reading of it: its lines, which of them are
// entries, and when each entry starts. The station's loader and the schedule
// editor both read a schedule through this, so that they agree on every
// entry and every estimate.
//
// One entry per line (line ends LF, CR LF or CR): "month/day/year
// hour:minute:second name [comment]" for a dated entry; a single word for
// one that follows the entry before it, at the moment that one is estimated
// to end; a name beginning with "$" is a command. A repeating entry has a
// rule in place of the date ("daily 21:00:00 news.txt", "Mon..Fri ...",
// "every 30m 00:10:00 $CWID"): its next occurrence is its start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scheduler/repeat_rule.h"
#include "transmit/station_settings.h"

namespace sked {

// Characters of a schedule line that make up its list line; the rest of a
// longer line is comment and is dropped. An entry's date, time and name (or
// its one word) must lie within them.
constexpr std::size_t kScheduleLineChars = 254;

// The date and time at the start of a line, "%d/%d/%d %d:%d:%d" (month, day,
// year, hour, minute, second; anything after the seconds is ignored):
// unreadable when it is not six numbers, invalid when they name no real date
// and time between 1970 and 2099, else the local time (a time the clocks
// skip is the instant they jump, one they pass twice its first pass).
struct LineTime {
    enum Kind { kUnreadable, kInvalid, kValid } kind = kUnreadable;
    std::time_t time = -1;
};
LineTime ReadLineTime(std::string_view line);

// One line of the file, read.
struct ScheduleLine {
    enum class Kind {
        Blank,    // nothing on it
        Pair,     // two words: no entry
        Untimed,  // one word: follows the entry before it
        Dated,    // date, time, name and perhaps a comment
        Repeating,  // rule, time of day, name and perhaps a comment
    };
    Kind kind = Kind::Blank;
    std::string text;  // as the queue lists it: tabs as blanks, its first 254 characters
    std::string name;  // the file under data/ or the "$" command
    std::string date, time;  // a dated entry's first two words (a repeating one's rule and time), as written
    std::string comment;     // what follows a dated entry's name, its blanks included
    LineTime when;           // a dated entry's date and time
    bool tooLong = false;    // its words reach beyond the 254 characters
    // A repeating entry: its rule and time of day, or why they do not read.
    RepeatRule rule;
    int secondOfDay = 0;
    std::string ruleProblem;
};

// The next line of `text` from `at`: it ends at LF, CR LF or CR, and at a
// zero byte within it, like any text the station reads.
std::string_view NextScheduleLine(std::string_view text, std::size_t& at);
// The first three words of a line (fewer when it has fewer), separated by
// blanks and tabs.
struct ScheduleWords {
    std::string_view word[3];
    int count = 0;
    std::size_t end = 0;  // just past the last of them
};
ScheduleWords FirstScheduleWords(std::string_view line);

std::vector<ScheduleLine> ParseSchedule(std::string_view text);

// How long one character takes, for the estimates: 7.5 signal elements (the
// Baudot alphabets and CW), 10 elements (ASCII) or a quarter of a second (PSK31).
float SecondsPerCharacter(Mode mode, float baud);

// Size in bytes of data/<name>, nothing when there is no such file. Asked
// only for names that stay inside data/.
using DataFileSize = std::function<std::optional<std::uintmax_t>(const std::string& name)>;

// `sizeOf` asked at most once per name, for one reading of a schedule: a
// year of bulletins names the same header and footer files thousands of
// times, and each is seen as it was at its first mention.
DataFileSize SizeOncePerName(DataFileSize sizeOf);

// What becomes of an entry line, and when it starts.
struct EntryEstimate {
    enum class Status {
        Due,           // it starts at `start`
        Expired,       // its time (or the start of the entry before an untimed one) is not after the limit
        Unreadable,    // a dated line whose date and time do not read
        Invalid,       // a dated line naming no real date and time, or an untimed one beyond 2099
        OutsideData,   // a name that is neither a command nor a file inside data/
        TooLong,       // its words reach beyond the 254 characters
        BadRule,       // a repeating entry whose rule or time of day does not read
    };
    std::size_t line = 0;  // index in the lines read
    Status status = Status::Due;
    std::time_t start = -1;
    float baud = 45.45f;  // the speed of the estimates at this line
};

// The starts of every entry line of `lines`, read at `now` by a station in
// `mode` at `baud` (the $B markers change the speed of the estimates that
// follow them). An untimed entry starts when the entry before it is
// estimated to end: that entry's file size times the time of a character
// (1 for a command or a missing file, none for a missing dated file), from
// 10 s after `now` when nothing comes before it. An entry whose time is not
// later than `expiry` (the loader: now) is Expired, and so is an untimed one
// whose predecessor starts by then. A repeating entry starts at its first
// occurrence after `now`.
std::vector<EntryEstimate> EstimateSchedule(const std::vector<ScheduleLine>& lines, std::time_t now,
                                            std::time_t expiry, Mode mode, float baud, const DataFileSize& sizeOf);

// Reads a schedule file whole, up to a size no real schedule comes near; a
// text cut there ends at its last whole line. Like every data file it must
// be a regular file inside data/ (a FIFO would hold the station up, an
// endless device eat its memory): else it cannot be opened, with the reason
// in `problem` if given.
enum class ScheduleFileRead { kWhole, kCannotOpen, kReadError, kTooLong };
ScheduleFileRead ReadScheduleFile(const std::string& path, std::string& text, std::string* problem = nullptr);

}  // namespace sked

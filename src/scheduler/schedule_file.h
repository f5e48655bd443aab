// The text of data/schedule.lst read into queue entries: which lines become
// entries, when each falls due, the line the schedule list shows for it and
// the log lines for the lines refused. No station here: ScheduleLoader reads
// the file, hands its text over and fills the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sked {

// Characters of a schedule line that make up its list line; the rest of a
// longer line is comment and is dropped. An entry's date, time and name (or
// its one word) must lie within them.
constexpr std::size_t kScheduleLineChars = 254;
// Longest list line: "MM/DD/YYYY HH:MM:SS " before the one word of an
// automatic entry.
constexpr std::size_t kEntryTextChars = 20 + kScheduleLineChars;

// How long one character takes, for the estimates of automatic entries:
// 7.5 signal elements (every mode but ASCII and PSK31), 10 elements (ASCII)
// or a quarter of a second (PSK31).
enum class CharacterTiming { kBaudot, kAscii, kPsk31 };

struct ScheduleEntry {
    std::time_t due = 0;
    std::string name;  // a file under data/ or a "$" command
    std::string text;  // the list line: "date time name ..."
};

struct ScheduleReading {
    std::vector<ScheduleEntry> entries;  // in file order
    std::vector<std::string> log;        // in order, without time stamps
    float estimateSpeed = 45.45f;        // after the speed markers read
};

// Size in bytes of data/<name>, nothing when there is no such file. Asked
// only for names that stay inside data/.
using DataFileSize = std::function<std::optional<std::uintmax_t>(const std::string& name)>;

// Reads `text` (line ends LF, CR LF or CR) at `now`, starting from the carried
// estimate speed.
ScheduleReading ReadSchedule(std::string_view text, std::time_t now, CharacterTiming timing, float estimateSpeed,
                             const DataFileSize& sizeOf);

// The date and time at the start of a line, "%d/%d/%d %d:%d:%d" (month, day,
// year, hour, minute, second; anything after the seconds is ignored):
// unreadable when it is not six numbers, invalid when they name no real date
// and time between 1970 and 2099, else the local time (as MakeLocalTime
// reads it: a time the clocks skip is the instant they jump, one they pass
// twice its first pass).
struct LineTime {
    enum Kind { kUnreadable, kInvalid, kValid } kind = kUnreadable;
    std::time_t time = -1;
};
LineTime ReadLineTime(std::string_view line);

// The pieces of a schedule line, shared by the loader and the schedule editor
// so that both read a file alike.
// The next line of `text` from `at`: it ends at LF, CR LF or CR (files
// written on Linux, Windows or old Macs), and at a zero byte within it, like
// any text the station reads.
std::string_view NextScheduleLine(std::string_view text, std::size_t& at);
// The first three words of a line (fewer when it has fewer), separated by
// blanks and tabs.
struct ScheduleWords {
    std::string_view word[3];
    int count = 0;
    std::size_t end = 0;  // just past the last of them
};
ScheduleWords FirstScheduleWords(std::string_view line);
// `speed` changed by a speed marker ("$B45" ... "$B30", case-blind, on its
// first four characters), unchanged by any other word.
float TestSpeedMarker(std::string_view word, float speed);
float SecondsPerCharacter(CharacterTiming timing, float speed);

}  // namespace sked

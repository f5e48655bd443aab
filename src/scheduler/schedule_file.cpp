#include "scheduler/schedule_file.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "transmit/data_file_name.h"

namespace sked {

namespace {

struct SpeedMarker {
    std::string_view prefix;
    float baud;
};
constexpr SpeedMarker kMarkers[] = {{"$B45", 45.45f}, {"$B50", 50.0f},  {"$B56", 56.9f}, {"$B74", 74.4f},
                                    {"$B10", 100.0f}, {"$B11", 110.0f}, {"$B30", 300.0f}};

// Blanks and tabs separate the words of a line (and the other white space
// characters, as they always have).
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
// White space as scanf skips it before a number.
bool IsSpace(char c) { return IsBlank(c) || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number as scanf's %d reads it: white space skipped, an optional sign, one
// digit or more. It stops growing past eight digits, which no date or time
// has, so that no run of digits can overflow it.
bool ScanNumber(std::string_view text, std::size_t& at, int& value) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || !IsDigit(text[at])) return false;
    int number = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at)
        if (number < 100'000'000) number = number * 10 + (text[at] - '0');
    value = negative ? -number : number;
    return true;
}

// What the list keeps of a line: its first kScheduleLineChars characters (not
// cutting a UTF-8 character in two), tabs made blanks.
std::string ListLine(std::string_view line) {
    std::size_t length = line.size();
    if (length > kScheduleLineChars) {
        length = kScheduleLineChars;
        // Back to the first byte of the character cut (at most four bytes long).
        for (int i = 0; i < 3 && (static_cast<unsigned char>(line[length]) & 0xC0) == 0x80; ++i) --length;
    }
    std::string text(line.substr(0, length));
    std::replace(text.begin(), text.end(), '\t', ' ');
    return text;
}

// `tag` plus the estimated sending time of `length` characters, truncated to
// whole seconds; `limit` when that reaches it.
std::time_t Later(std::time_t tag, std::uintmax_t length, float perCharacter, std::time_t limit) {
    float seconds = static_cast<float>(length) * perCharacter;
    if (tag >= limit || static_cast<double>(seconds) >= static_cast<double>(limit - tag)) return limit;
    return tag + static_cast<std::time_t>(seconds);
}

std::string ListText(std::time_t when, const std::string& name) {
    std::tm t = LocalTime(when);
    return Format("%02d/%02d/%4d %02d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec, name.c_str());
}

}  // namespace

std::string_view NextScheduleLine(std::string_view text, std::size_t& at) {
    std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end;
    if (at < text.size() && text[at++] == '\r' && at < text.size() && text[at] == '\n') ++at;
    return line.substr(0, line.find('\0'));
}

ScheduleWords FirstScheduleWords(std::string_view line) {
    ScheduleWords words;
    std::size_t at = 0;
    while (words.count < 3) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (at == line.size()) break;
        std::size_t start = at;
        while (at < line.size() && !IsBlank(line[at])) ++at;
        words.word[words.count++] = line.substr(start, at - start);
        words.end = at;
    }
    return words;
}

float TestSpeedMarker(std::string_view word, float speed) {
    std::string upper(word.substr(0, 4));
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const auto& marker : kMarkers)
        if (upper == marker.prefix) speed = marker.baud;
    return speed;
}

float SecondsPerCharacter(CharacterTiming timing, float speed) {
    if (timing == CharacterTiming::kAscii) return 10.0f / speed;
    if (timing == CharacterTiming::kPsk31) return 0.25f;
    return 7.5f / speed;
}

LineTime ReadLineTime(std::string_view line) {
    int n[6];
    std::size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        if (!ScanNumber(line, at, n[i])) return {};
        if (i == 5) break;
        // "%d/%d/%d %d:%d:%d": the blank between year and hour is the white
        // space that ScanNumber skips anyway.
        if (i == 2) continue;
        if (at >= line.size() || line[at] != (i < 2 ? '/' : ':')) return {};
        ++at;
    }
    if (!IsCalendarTime(n[2], n[0], n[1], n[3], n[4], n[5])) return {LineTime::kInvalid, -1};
    return {LineTime::kValid, MakeLocalTime(n[2], n[0], n[1], n[3], n[4], n[5])};
}

ScheduleReading ReadSchedule(std::string_view text, std::time_t now, CharacterTiming timing, float estimateSpeed,
                             const DataFileSize& sizeOf) {
    ScheduleReading reading;
    reading.estimateSpeed = estimateSpeed;
    auto refuse = [&reading](const char* why, const std::string& line) {
        reading.log.push_back(Format("GetSchedule : %s %s", why, line.c_str()));
    };
    // The first moment that no longer has a list line of four-digit year
    // that reads back: automatic entries from there on are refused.
    const std::time_t pastLastDate = MakeLocalTime(kLastCalendarYear + 1, 1, 1, 0, 0, 0);
    std::time_t runningTimeTag = now + 10;
    std::uintmax_t lastLength = 1;

    for (std::size_t at = 0; at < text.size();) {
        std::string_view line = NextScheduleLine(text, at);
        ScheduleWords words = FirstScheduleWords(line);
        if (words.count == 0) continue;

        reading.estimateSpeed = TestSpeedMarker(words.word[words.count == 3 ? 2 : 0], reading.estimateSpeed);
        float perCharacter = SecondsPerCharacter(timing, reading.estimateSpeed);
        if (words.count == 2) continue;

        std::string shown = ListLine(line);
        if (words.end > kScheduleLineChars) {
            refuse("Line too long", shown);
            continue;
        }
        std::string name(words.word[words.count - 1]);
        bool dataFile = IsDataFileName(name);

        if (words.count == 1) {
            if (runningTimeTag <= now) {
                refuse("Expired time tag", shown);
                continue;
            }
            if (!dataFile && name[0] != '$') {
                refuse("Refused name outside data/", shown);
                continue;
            }
            runningTimeTag = Later(runningTimeTag, lastLength, perCharacter, pastLastDate);
            if (runningTimeTag >= pastLastDate) {
                refuse("Invalid date or time", shown);
                continue;
            }
            lastLength = (dataFile ? sizeOf(name) : std::nullopt).value_or(1);
            reading.entries.push_back({runningTimeTag, name, ListText(runningTimeTag, name)});
            continue;
        }

        // The time is read from the list line itself, so that the dispatcher
        // reads the same time from it.
        LineTime t = ReadLineTime(shown);
        if (t.kind == LineTime::kInvalid) {
            refuse("Invalid date or time", shown);
            continue;
        }
        // Also an expired time sets the running time tag: the automatic
        // entries after it expire with it.
        if (t.kind == LineTime::kValid && t.time > 0) runningTimeTag = t.time;
        if (t.kind != LineTime::kValid || t.time <= now) {
            refuse("Expired time tag", shown);
            continue;
        }
        if (!dataFile && name[0] != '$') {
            refuse("Refused name outside data/", shown);
            continue;
        }
        reading.entries.push_back({t.time, name, shown});
        if (dataFile)
            if (auto size = sizeOf(name)) lastLength = *size;
    }
    return reading;
}

}  // namespace sked

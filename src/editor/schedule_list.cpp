#include "editor/schedule_list.h"

#include <cctype>

#include "editor/format_duration.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "transmit/data_file_name.h"

namespace sked {

namespace {

struct FrequencyMarker {
    std::string_view prefix;
    float hertz;
};
constexpr FrequencyMarker kFrequencyMarkers[] = {{"$F15", 1500.0f}, {"$F16", 1600.0f}, {"$F17", 1700.0f},
                                                 {"$F18", 1800.0f}, {"$F19", 1900.0f}, {"$F20", 2000.0f},
                                                 {"$F21", 2100.0f}};

std::optional<float> FrequencyOf(std::string_view word) {
    std::string upper(word.substr(0, 4));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& marker : kFrequencyMarkers)
        if (upper == marker.prefix) return marker.hertz;
    return std::nullopt;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string TrimEnd(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

// The name column: the name, or for a missing or empty file the name padded
// and marked ("CMD" for a command, "???" for a file that is not there).
struct Named {
    std::string field;
    std::uint32_t size;
};
Named NameField(const std::string& name, const DataFileSize& sizeOf, int width) {
    // Low 32 bits of the length, as the list has always shown it.
    std::uint32_t size = 0;
    if (IsDataFileName(name))
        if (auto length = sizeOf(name)) size = static_cast<std::uint32_t>(*length);
    if (size > 0) return {name, size};
    if (name[0] == '$') return {Format("%-*s %s", width, name.c_str(), "CMD"), 1};
    return {Format("%-*s %s", width, name.c_str(), "???"), 0};
}

long Seconds(std::uint32_t size, float perCharacter) {
    return static_cast<long>(static_cast<float>(size) * perCharacter);
}

}  // namespace

EditorReading ReadEditorSchedule(std::string_view text, std::time_t now, CharacterTiming timing, float estimateSpeed,
                                 bool untimedDisplay, const DataFileSize& sizeOf) {
    EditorReading reading;
    reading.estimateSpeed = estimateSpeed;
    const std::time_t expiry = now - kEditorExpiry;
    std::time_t start = now + 10;  // the running start time
    std::uint32_t previousSize = 1;

    for (std::size_t at = 0; at < text.size();) {
        std::string_view line = NextScheduleLine(text, at);
        ScheduleWords words = FirstScheduleWords(line);
        if (words.count == 0) continue;
        std::string_view command = words.word[words.count == 3 ? 2 : 0];
        reading.estimateSpeed = TestSpeedMarker(command, reading.estimateSpeed);
        if (auto hertz = FrequencyOf(command)) reading.pskFrequency = hertz;
        const float perCharacter = SecondsPerCharacter(timing, reading.estimateSpeed);

        if (words.count == 2) {
            ++reading.notEntries;
            continue;
        }
        if (words.count == 1) {
            if (start <= expiry) {
                ++reading.expired;
                continue;
            }
            start += Seconds(previousSize, perCharacter);
            const std::string name(words.word[0]);
            Named named = NameField(name, sizeOf, 35);
            std::string duration = FormatDuration(Seconds(named.size, perCharacter));
            std::string display;
            if (untimedDisplay) {
                display = Format("%22s%-40s  %5u %9s", "", named.field.c_str(), named.size, duration.c_str());
            } else {
                std::tm t = LocalTime(start);
                display = Format("%02d/%02d/%4d  %02d:%02d:%02d  %-40s  %5u %9s", t.tm_mon + 1, t.tm_mday,
                                 t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, named.field.c_str(), named.size,
                                 duration.c_str());
            }
            reading.lines.push_back({display, ""});
            previousSize = named.size;
            continue;
        }

        // Date, time and name; the rest of the line is the entry's comment.
        LineTime t = ReadLineTime(line);
        const std::time_t when = t.kind == LineTime::kValid ? t.time : -1;
        if (when > 0) start = when;
        if (when <= expiry) {
            ++(t.kind == LineTime::kValid ? reading.expired : reading.unreadable);
            continue;
        }
        const std::string name(words.word[2]);
        Named named = NameField(name, sizeOf, 21);
        std::string duration = FormatDuration(Seconds(named.size, perCharacter));
        std::string date(words.word[0]), time(words.word[1]);
        reading.lines.push_back({Format("%s  %st %-40s  %5u %9s", date.c_str(), time.c_str(), named.field.c_str(),
                                        named.size, duration.c_str()),
                                 TrimEnd(line.substr(words.end))});
        previousSize = named.size;
    }
    return reading;
}

DisplayWords SplitDisplayLine(const std::string& line) {
    DisplayWords split;
    split.untimed = !line.empty() && line[0] == ' ';
    ScheduleWords words = FirstScheduleWords(line);
    if (words.count > 0) split.first = words.word[0];
    if (words.count > 1) split.second = words.word[1];
    if (words.count > 2) split.third = words.word[2];
    return split;
}

std::string WriteEditorSchedule(const std::vector<EditorLine>& lines) {
    std::string text;
    for (const EditorLine& line : lines) {
        DisplayWords words = SplitDisplayLine(line.display);
        if (words.first.empty()) continue;
        if (words.untimed || words.third.empty()) {
            text += words.first + "\n";
        } else if (words.second.find('t') != std::string::npos) {
            // The time tag is the t the list put behind the time; the file
            // gets the time as it was read.
            std::string time = words.second;
            if (time.back() == 't') time.pop_back();
            text += words.first + "\t" + time + "\t" + words.third + line.comment + "\n";
        } else {
            // An untimed entry shown with its computed start: the start is
            // never stored.
            text += words.third + "\n";
        }
    }
    return text;
}

std::string FieldsLine(const std::string& date, const std::string& time, const std::string& name) {
    if (date.empty() && time.empty()) return Format("%22s%s", "", name.c_str());
    return Format("%10s  %8st  %s", date.c_str(), time.c_str(), name.c_str());
}

std::string ProvisionalLine(std::time_t when, const std::string& name) {
    std::tm t = LocalTime(when);
    return Format("%02d/%02d/%4d  %02d:%02d:%02d  %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec, name.c_str());
}

}  // namespace sked
